// Built without X11 support: the busy cursor keeps time but shows nothing.
#include "app/BusyIndicator.h"

std::unique_ptr<BusyIndicator> CreateBusyIndicator()
{
    return std::make_unique<QuietBusyIndicator>();
}
