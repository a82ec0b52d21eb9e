// The "&Photos" tab: a media page whose items pane is the thumbnail grid.
#pragma once

#include "picker/MediaPageForm.h"

class PhotosPageForm : public TMediaPage {
    Q_OBJECT

public:
    PhotosPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle);
};
