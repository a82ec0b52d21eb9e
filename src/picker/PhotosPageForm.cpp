#include "picker/PhotosPageForm.h"

#include <utility>

PhotosPageForm::PhotosPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : TMediaPage(parent, mediaClass, queue, std::move(idle))
{
}
