// The "&Music" tab: a media page whose items pane is the song list.
#pragma once

#include "picker/MediaPageForm.h"

class MusicPageForm : public TMediaPage {
    Q_OBJECT

public:
    MusicPageForm(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle);
};
