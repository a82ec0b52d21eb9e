#include "picker/PhotoPropsForm.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStringList>

#include "common/ApiBoundary.h"
#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "picker/MyMediaItem.h"
#include "picker/PropsFormSupport.h"
#include "picker/Utilities.h"
#include "picker/ViewSupport.h"

namespace {

constexpr int c_ClientWidthPx = 396;
constexpr int c_ClientHeightPx = 177;
constexpr int c_CaptionXPx = 8;
constexpr int c_ValueXPx = 75;
constexpr int c_ValueWidthPx = 310;

} // namespace

using namespace PropsForm;

TPhotoProps::TPhotoProps(QWidget* parent, MyMediaItem& item)
    : QDialog(parent), m_Item(std::make_unique<MediaItem>(item.Url()))
{
    setObjectName("PhotoProps");
    SetUpDialog(*this, c_ClientWidthPx, c_ClientHeightPx);
    PhotoPropsTakenDateLabel = FixedLabel(this, "PhotoPropsTakenDateLabel", tr("Taken:"), c_CaptionXPx, 13, 60);
    PhotoPropsTakenDate = FixedLabel(this, "PhotoPropsTakenDate", QString(), c_ValueXPx, 13, c_ValueWidthPx);
    PhotoPropsImportedDateLabel
        = FixedLabel(this, "PhotoPropsImportedDateLabel", tr("Imported:"), c_CaptionXPx, 37, 60);
    PhotoPropsImportedDate = FixedLabel(this, "PhotoPropsImportedDate", QString(), c_ValueXPx, 37, c_ValueWidthPx);
    PhotoPropsModifiedDateLabel
        = FixedLabel(this, "PhotoPropsModifiedDateLabel", tr("Modified:"), c_CaptionXPx, 61, 60);
    PhotoPropsModifiedDate = FixedLabel(this, "PhotoPropsModifiedDate", QString(), c_ValueXPx, 61, c_ValueWidthPx);
    PhotoPropsFileSizeLabel = FixedLabel(this, "PhotoPropsFileSizeLabel", tr("Size:"), c_CaptionXPx, 85, 60);
    PhotoPropsFileSize = FixedLabel(this, "PhotoPropsFileSize", QString(), c_ValueXPx, 85, c_ValueWidthPx);
    PhotoPropsLocationLabel = FixedLabel(this, "PhotoPropsLocationLabel", tr("Location:"), c_CaptionXPx, 109, 60);
    PhotoPropsLocation = FixedLabel(this, "PhotoPropsLocation", QString(), c_ValueXPx, 109, c_ValueWidthPx);
    Button1 = CloseButton(*this, 312, 146);
}

TPhotoProps::~TPhotoProps() = default;

void TPhotoProps::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        FormShow();
    }
}

void TPhotoProps::FormShow()
{
    bool filled = false;
    Guarded([&] {
        if (!IsBroken(*m_Item) && !m_Item->IsImage()) {
            try {
                LUMO_ASSERT(false);
            } catch (const LumoAssertException&) {
            }
            return;
        }
        setWindowTitle(Caption(m_Item->Property("Title"), QT_TRANSLATE_NOOP("PropsForm", "Image")));
        PhotoPropsTakenDate->setText(ValueText(FormatDate(m_Item->Property("CaptureDate"))));
        PhotoPropsImportedDate->setText(ValueText(FormatDate(m_Item->Property("CreationDate"))));
        PhotoPropsModifiedDate->setText(ValueText(FormatDate(m_Item->Property("LastChangeDate"))));
        const std::string size = m_Item->Property("SourceSize");
        PhotoPropsFileSize->setText(ValueText(size.empty() ? size : FormatSize(size)));
        const QString location = QString::fromStdString(m_Item->Property("SourceLocation"));
        PhotoPropsLocation->setText(ValueText(
            ShortenPath(location, PhotoPropsLocation->fontMetrics(), PhotoPropsLocation->width()).toStdString()));
        NameValuesForScreenReaders(*this);
        filled = true;
    });
    // Queued: closing inside the show of exec() would hide the dialog before its loop starts,
    // and that loop would then never end.
    if (!filled)
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

std::string PhotoSummary(MyMediaItem& item)
{
    // The tip has no place to show an error; it is left as the last error instead.
    return ApiBoundary(std::string(), [&] {
        MediaItem& media = item.Item();
        if (!media.IsImage() && !IsBroken(media))
            return std::string();
        std::string text = media.Property("SourceWidth") + "W x " + media.Property("SourceHeight") + "H";
        const std::string location = media.Property("SourceLocation");
        if (!location.empty())
            text += "\n" + location;
        return text;
    });
}
