#include "picker/MusicPageForm.h"

#include <utility>

MusicPageForm::MusicPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : TMediaPage(parent, mediaClass, queue, std::move(idle))
{
}
