// The about box: the program's version and copyright over its logo, with a way to the legal
// notices of the libraries it ships with.
#pragma once

#include <QDialog>
#include <QPixmap>

class TAboutBoxForm : public QDialog {
    Q_OBJECT

public:
    // The caption names owner's window ("About Lumo Publisher").
    explicit TAboutBoxForm(QWidget* owner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowNotices();

    QPixmap m_image;
};

// Shows the about box modally, centred on owner. Interface thread.
void ShowAboutBox(QWidget* owner);
