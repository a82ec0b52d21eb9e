// The about box and the legal notices it leads to.
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/AboutBoxForm.h"
#include "app/NoticesForm.h"
#include "support/WidgetApplication.h"

namespace {

QString Line(const QWidget& form, const char* name)
{
    const QLabel* label = form.findChild<QLabel*>(name);
    return label ? label->text() : QString("<missing>");
}

QString SourceFile(const QString& path)
{
    QFile file(QString(LUMO_SOURCE_DIR) + "/" + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QPushButton* Button(const QWidget& form, const QString& text)
{
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace

TEST(AboutBoxForm, NamesTheOwnerAndShowsTheVersionBlock)
{
    WidgetApplication();
    QWidget owner;
    owner.setWindowTitle("Lumo Publisher");
    TAboutBoxForm about(&owner);
    EXPECT_EQ(about.windowTitle(), "About Lumo Publisher");
    EXPECT_EQ(Line(about, "version"), QString("Version ") + LUMO_PROJECT_VERSION);
    EXPECT_EQ(Line(about, "legal"), LUMO_PROJECT_COPYRIGHT);
    EXPECT_FALSE(Line(about, "rights").isEmpty());
    EXPECT_EQ(about.size(), QSize(385, 254));
    ASSERT_TRUE(Button(about, "OK") && Button(about, "&More Legal..."));
    EXPECT_EQ(Button(about, "OK")->size(), QSize(82, 24));
    EXPECT_EQ(Button(about, "&More Legal...")->size(), QSize(100, 24));
}

// What the about box claims is what the package's copyright file and its AppStream metadata say.
TEST(AboutBoxForm, MakesTheLicenceStatementOfThePackage)
{
    WidgetApplication();
    TAboutBoxForm about(nullptr);
    const QString copyright = SourceFile("packaging/copyright");
    const QString metainfo = SourceFile(QString("packaging/") + LUMO_APP_ID + ".metainfo.xml");
    ASSERT_FALSE(copyright.isEmpty());
    ASSERT_FALSE(metainfo.isEmpty());

    const QString licence
        = QRegularExpression("<project_license>([^<]+)</project_license>").match(metainfo).captured(1);
    const QRegularExpressionMatch program
        = QRegularExpression("\\nFiles: \\*\\nCopyright: ([^\\n]*)\\nLicense: ([^\\n]*)\\n ([^\\n]*)").match(copyright);
    ASSERT_TRUE(program.hasMatch()) << "no stanza for the program's own files";
    EXPECT_EQ(program.captured(2), licence);
    // The legal line names the holder the copyright file names.
    EXPECT_TRUE(Line(about, "legal").endsWith(" " + program.captured(1))) << Line(about, "legal").toStdString();
    if (licence == "LicenseRef-proprietary") {
        EXPECT_EQ(Line(about, "rights"), "All rights reserved.");
        EXPECT_TRUE(program.captured(3).startsWith(Line(about, "rights")));
    }
}

TEST(AboutBoxForm, MoreLegalOpensTheNoticesOwnedByTheAboutBox)
{
    WidgetApplication();
    TAboutBoxForm about(nullptr);
    bool noticesShown = false;
    QWidget* owner = nullptr;
    QPointer<QWidget> dialog;
    // The notices run their own event loop; close them from inside it.
    QTimer::singleShot(0, &about, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        noticesShown = qobject_cast<TNoticesForm*>(modal) != nullptr;
        if (modal) {
            owner = modal->parentWidget();
            dialog = modal;
            modal->close();
        }
    });
    Button(about, "&More Legal...")->click();
    EXPECT_TRUE(noticesShown);
    EXPECT_EQ(owner, &about);
    EXPECT_FALSE(dialog) << "destroyed once closed";
}

TEST(NoticesForm, CarriesTheNoticesOfEveryShippedLibrary)
{
    WidgetApplication();
    TNoticesForm notices(nullptr);
    EXPECT_EQ(notices.windowTitle(), "Legal Notices");
    const QString text = notices.Text();
    for (const char* needle : {"Qt 6", "The Qt Company", "TagLib", "Scott Wheeler", "libexif", "Lutz Mueller",
             "libjpeg-turbo", "based in part on the work of the Independent JPEG Group", "SQLite", "public domain",
             "GNU LESSER GENERAL PUBLIC LICENSE", "Version 2.1, February 1999", "Version 3, 29 June 2007",
             "GNU GENERAL PUBLIC LICENSE"}) {
        EXPECT_TRUE(text.contains(needle)) << needle;
    }
}
