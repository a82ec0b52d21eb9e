#include "picker/PhotosPageForm.h"

#include <utility>

#include "picker/PhotoItemsForm.h"

PhotosPageForm::PhotosPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : TMediaPage(parent, mediaClass, queue, std::move(idle))
{
    SetItemsView(new TPhotoItems(MediaItemsPanel, *this, *MediaTree, Queue()));
}
