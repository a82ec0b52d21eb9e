#include "picker/MusicPageForm.h"

#include <utility>

#include "picker/MusicItemsForm.h"

MusicPageForm::MusicPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : TMediaPage(parent, mediaClass, queue, std::move(idle))
{
    SetItemsView(new TMusicItems(MediaItemsPanel, *this, *MediaTree, Queue()));
}
