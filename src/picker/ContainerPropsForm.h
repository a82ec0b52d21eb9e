// The folder (or playlist) properties dialog: its location and creation date, and its direct
// children counted one per timer tick while the dialog is open. Also the container tool tip.
#pragma once

#include <memory>
#include <string>

#include <QDialog>

class Container;
class MediaItem;
class MyMediaItem;
class QLabel;
class QPushButton;
class QShowEvent;
class QTimer;

class TContainerProps : public QDialog {
    Q_OBJECT

public:
    // Keeps an item of its own, so the dialog outlives a row its page drops while it is open.
    // Raises when no module handles the item any more.
    TContainerProps(QWidget* parent, MyMediaItem& item);
    ~TContainerProps() override;

    // One child per call: Timer1 calls it every 25 ms; nothing it meets escapes.
    void Timer1Timer();
    bool Counting() const noexcept { return m_Counting; }

    QLabel* ContainerPropsLocationLabel;
    QLabel* ContainerPropsLocation;
    QLabel* ContainerPropsSizeLabel;
    QLabel* ContainerPropsSize;
    QLabel* ContainerPropsContainsLabel;
    QLabel* ContainerPropsContains;
    QLabel* ContainerPropsCreatedLabel;
    QLabel* ContainerPropsCreated;
    QPushButton* Button1;
    QTimer* Timer1;

    // Every way of closing a dialog ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void FinishCount();
    void UpdateDisplay();

    std::unique_ptr<MediaItem> m_Item;
    // Present only while counting.
    std::unique_ptr<Container> m_enumerator;
    int32_t m_FolderCount = 0;
    int32_t m_FileCount = 0;
    double m_FolderBytes = 0;
    double m_FileBytes = 0;
    bool m_FirstStep = false;
    bool m_Counting = false;
    bool m_shown = false;
};

// The container's location; "" for an item that is neither a container nor broken, and on
// failure (which leaves the last error).
std::string ContainerSummary(MyMediaItem& item);
