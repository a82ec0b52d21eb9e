// The photo properties dialog (dates, file size, location) and the photo tool tip. Also the
// helpers both property dialogs share for their value labels.
#pragma once

#include <memory>
#include <string>

#include <QDialog>
#include <QString>

class MediaItem;
class MyMediaItem;
class QFontMetrics;
class QLabel;
class QPushButton;
class QShowEvent;

class TPhotoProps : public QDialog {
    Q_OBJECT

public:
    // Keeps an item of its own, so the dialog outlives a row its page drops while it is open.
    // Raises when no module handles the item any more.
    TPhotoProps(QWidget* parent, MyMediaItem& item);
    ~TPhotoProps() override;

    QLabel* PhotoPropsTakenDateLabel;
    QLabel* PhotoPropsTakenDate;
    QLabel* PhotoPropsImportedDateLabel;
    QLabel* PhotoPropsImportedDate;
    QLabel* PhotoPropsModifiedDateLabel;
    QLabel* PhotoPropsModifiedDate;
    QLabel* PhotoPropsFileSizeLabel;
    QLabel* PhotoPropsFileSize;
    QLabel* PhotoPropsLocationLabel;
    QLabel* PhotoPropsLocation;
    QPushButton* Button1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    std::unique_ptr<MediaItem> m_Item;
    bool m_shown = false;
};

// "<width>W x <height>H", then a line with the location when there is one; "" for an item
// that is neither a photo nor broken, and on failure (which leaves the last error).
std::string PhotoSummary(MyMediaItem& item);
