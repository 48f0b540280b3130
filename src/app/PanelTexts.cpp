#include "app/PanelTexts.h"

#include "model/PhotoItem.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>

namespace lumora::panelTexts {

QString statusText(qsizetype photoCount)
{
    return QString::number(photoCount) + QStringLiteral(" Foto") + (photoCount == 1 ? QString() : QStringLiteral("s"))
           + QStringLiteral(" importiert");
}

QString loadingText(int handled, int total)
{
    return QStringLiteral("Lade %1 von %2 Fotos …").arg(std::min(handled + 1, total)).arg(total);
}

QString selectionText(qsizetype selectedCount)
{
    return QString::number(selectedCount) + QStringLiteral(" ausgewählt");
}

QString byteCount(qint64 bytes)
{
    return QLocale(QLocale::German, QLocale::Germany).formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QList<std::pair<QString, QString>> fileInfoRows(const PhotoItem& photo)
{
    const QSize size = photo.originalCI.size();
    const QFileInfo file(photo.url.toLocalFile());
    const QString bytes = file.exists() && file.isFile() ? byteCount(file.size()) : QStringLiteral("—");
    QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("Name"), photo.url.fileName()},
        {QStringLiteral("Breite"), QString::number(size.width()) + QStringLiteral(" px")},
        {QStringLiteral("Höhe"), QString::number(size.height()) + QStringLiteral(" px")},
        {QStringLiteral("Größe"), bytes},
    };
    const QSize sensor = photo.originalCI.sensorSize();
    if (!sensor.isEmpty())
        rows.append({QStringLiteral("Sensor"), QStringLiteral("%1 × %2 px").arg(sensor.width()).arg(sensor.height())});
    return rows;
}

QString photoFileFilter()
{
    static const char* const extensions[] = {
        "jpg", "jpeg", "png", "heic", "heif", "webp", "tif", "tiff", "gif", "bmp",
        // camera RAW files: Canon, Nikon, Sony, Fujifilm, Olympus/OM, Panasonic, Pentax, Samsung,
        // Sigma, Leica/Hasselblad/Phase One and others, and Adobe's DNG
        "cr2", "cr3", "crw", "nef", "nrw", "arw", "srf", "sr2", "raf", "orf", "rw2", "pef", "srw", "x3f", "rwl", "3fr",
        "iiq", "erf", "kdc", "dcr", "mrw", "dng"};
    QStringList patterns;
    for (const char* extension : extensions) {
        const QString lower = QString::fromLatin1(extension);
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    return QStringLiteral("Bilder (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

const QList<std::pair<QString, QString>>& shortcutRows()
{
    static const QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("Strg+O"), QStringLiteral("Fotos öffnen")},
        {QStringLiteral("Strg+S"), QStringLiteral("Speichern")},
        {QStringLiteral("Strg+⇧+J"), QStringLiteral("Export JPG")},
        {QStringLiteral("Strg+⇧+E"), QStringLiteral("Export PNG")},
        {QStringLiteral("Strg+A"), QStringLiteral("Alle auswählen")},
        // Deleting is Ctrl with Backspace; the plain key does nothing in the window.
        {QStringLiteral("Strg+⌫"), QStringLiteral("Löschen")},
        {QStringLiteral("Strg+U"), QStringLiteral("Fotos wiederherstellen")},
        {QStringLiteral("← →"), QStringLiteral("Belichtung ±")},
        {QStringLiteral("↑ ↓"), QStringLiteral("Helligkeit ±")},
        {QStringLiteral("Strg+Alt+⌫"), QStringLiteral("SD auswerfen")},
    };
    return rows;
}

QString shortcutText(const QKeySequence& sequence)
{
    QStringList keys = sequence.toString(QKeySequence::PortableText).split(QLatin1Char('+'));
    for (QString& key : keys) {
        if (key == QLatin1String("Ctrl"))
            key = QStringLiteral("Strg");
        else if (key == QLatin1String("Shift"))
            key = QStringLiteral("Umschalt");
        else if (key == QLatin1String("Backspace"))
            key = QStringLiteral("Rücktaste");
        else if (key == QLatin1String("Del"))
            key = QStringLiteral("Entf");
    }
    return keys.join(QLatin1Char('+'));
}

QString versionString()
{
#ifdef LUMORA_VERSION
    const QString version = QStringLiteral(LUMORA_VERSION);
#else
    const QString version;
#endif
    return version.isEmpty() ? QStringLiteral("—") : version;
}

} // namespace lumora::panelTexts
