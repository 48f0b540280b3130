#include "ui/InfoSheet.h"

#include "app/PanelTexts.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <array>

namespace lumora {

namespace {

QLabel* symbol(const QString& name, int side, QColor color = theme::text)
{
    auto* label = new QLabel;
    label->setPixmap(icons::pixmap(name, side, color, 2.0));
    label->setFixedSize(side + 4, side + 4);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

/// A small capsule with the badge text.
QLabel* badge(const QString& value)
{
    QLabel* label = styledLabel(value, 9, QFont::DemiBold, theme::accent);
    label->setStyleSheet(QStringLiteral("QLabel { border: 1px solid rgba(56,153,255,0.6); border-radius: 7px;"
                                        " padding: 1px 6px; }"));
    return label;
}

QPushButton* closeButton(QDialog* dialog)
{
    auto* button = new QPushButton(QStringLiteral("Schließen"));
    button->setDefault(true);
    button->setAutoDefault(true);
    button->setStyleSheet(QStringLiteral("QPushButton { background: rgb(56,153,255); color: white; border: none;"
                                         " border-radius: 6px; padding: 6px 18px; font-weight: 600; }"));
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

} // namespace

const QList<Feature>& InfoSheet::features()
{
    static const QList<Feature> list = {
        {QStringLiteral("folder.badge.plus"),
         QStringLiteral("Fotos laden"),
         QStringLiteral("Von SD-Karte, Festplatte oder per Drag & Drop"),
         {}},
        {QStringLiteral("sun.max"),
         QStringLiteral("Bildanpassungen"),
         QStringLiteral("Belichtung, Helligkeit, Kontrast, Sättigung und Schärfe"),
         {}},
        {QStringLiteral("rotate.right"),
         QStringLiteral("Drehen & Spiegeln"),
         QStringLiteral("Links/Rechts drehen, horizontal/vertikal spiegeln — auch für mehrere Fotos gleichzeitig"),
         {}},
        {QStringLiteral("pencil.and.outline"),
         QStringLiteral("Bearbeiten"),
         QStringLiteral("Rechteck, Freihand, Füllen, Pfeile und Text direkt im Bild"),
         {}},
        {QStringLiteral("crop"),
         QStringLiteral("Zuschneiden"),
         QStringLiteral("Bildausschnitt pixelgenau wählen — einzeln oder auf alle markierten Fotos gleichzeitig"),
         {}},
        {QStringLiteral("drop.halffull"),
         QStringLiteral("Schutz"),
         QStringLiteral("Text-Wasserzeichen gekachelt oder positioniert — mit Farbe, Größe und Deckkraft"),
         {}},
        {QStringLiteral("sparkles"),
         QStringLiteral("KI-Szene"),
         QStringLiteral("Hintergrund automatisch entfernen — durch Farbe, Transparenz oder Foto ersetzen"),
         {}},
        {QStringLiteral("magnifyingglass.circle"),
         QStringLiteral("Lupe"),
         QStringLiteral("Bilder in eigenem Fenster begutachten — mit der Maus greifen und verschieben"),
         {}},
        {QStringLiteral("tray.and.arrow.down"),
         QStringLiteral("Speichern"),
         QStringLiteral("Originaldatei überschreiben mit allen Anpassungen"),
         {}},
        {QStringLiteral("photo"),
         QStringLiteral("Export JPG & PNG"),
         QStringLiteral("Mit automatischer Nummerierung der Sortierreihenfolge"),
         {}},
        {QStringLiteral("arrow.up.arrow.down"),
         QStringLiteral("Sortierung"),
         QStringLiteral("Per Drag & Drop — Reihenfolge wird beim Export übernommen"),
         {}},
        {QStringLiteral("magnifyingglass"),
         QStringLiteral("Zoom"),
         QStringLiteral("Kachelgröße im Grid stufenlos anpassbar"),
         {}},
        {QStringLiteral("trash"),
         QStringLiteral("Löschen & Wiederherstellen"),
         QStringLiteral("Fotos löschen mit Rückgängig-Funktion"),
         {}},
        {QStringLiteral("eject.fill"),
         QStringLiteral("SD-Karte auswerfen"),
         QStringLiteral("Sicheres Auswerfen direkt aus der App"),
         {}},
    };
    return list;
}

QSize InfoSheet::sheetSize(QSize fensterGroesse)
{
    const int width = fensterGroesse.width() > 0 ? std::clamp(fensterGroesse.width() - 40, 360, 520) : 520;
    const int height = fensterGroesse.height() > 0 ? std::clamp(fensterGroesse.height() - 40, 400, 640) : 640;
    return {width, height};
}

InfoSheet::InfoSheet(QSize fensterGroesse, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Info & Funktionen"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(sheetSize(fensterGroesse));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);

    auto* head = new QHBoxLayout;
    head->addWidget(symbol(QStringLiteral("camera.aperture"), 36, theme::accent));
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(styledLabel(QStringLiteral("Lumora Studio"), 24, QFont::DemiBold));
    auto* version = new QHBoxLayout;
    version->setSpacing(4);
    version->addWidget(symbol(QStringLiteral("tag"), 12, theme::textMuted));
    version->addWidget(
        styledLabel(QStringLiteral("Version ") + panelTexts::versionString(), 12, QFont::Normal, theme::textMuted));
    version->addStretch(1);
    names->addLayout(version);
    head->addLayout(names, 1);
    layout->addLayout(head);

    QLabel* section = styledLabel(QStringLiteral("FUNKTIONEN"), 10, QFont::DemiBold, theme::textMuted);
    QFont spaced = section->font();
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    section->setFont(spaced);
    layout->addWidget(section);

    auto* list = new QWidget;
    auto* grid = new QGridLayout(list);
    grid->setContentsMargins(0, 0, 8, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    int row = 0;
    for (const Feature& feature : features()) {
        grid->addWidget(symbol(feature.symbol, 20, theme::accent), row, 0, Qt::AlignTop);
        auto* words = new QVBoxLayout;
        words->setSpacing(1);
        auto* titleLine = new QHBoxLayout;
        titleLine->addWidget(styledLabel(feature.title, 13));
        if (!feature.badge.isEmpty())
            titleLine->addWidget(badge(feature.badge));
        titleLine->addStretch(1);
        words->addLayout(titleLine);
        QLabel* description = styledLabel(feature.description, 10, QFont::Normal, theme::textMuted);
        description->setWordWrap(true);
        words->addWidget(description);
        grid->addLayout(words, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(list);
    layout->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton(this));
    layout->addLayout(buttons);
}

const QString HiddenView::kEntwickler = QStringLiteral("Das Lumora-Studio-Team");
const QString HiddenView::kCopyright = QStringLiteral("© 2026 Lumora Studio");

HiddenView::HiddenView(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Lumora Studio"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(400);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.1f, 0.1f, 0.11f));
    setPalette(palette);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(28);

    auto* head = new QVBoxLayout;
    head->setSpacing(6);
    head->addWidget(symbol(QStringLiteral("camera.aperture"), 40, theme::accent), 0, Qt::AlignHCenter);
    head->addWidget(styledLabel(QStringLiteral("Lumora Studio"), 22, QFont::DemiBold), 0, Qt::AlignHCenter);
    head->addWidget(
        styledLabel(QStringLiteral("Version ") + panelTexts::versionString(), 13, QFont::Normal, theme::textMuted), 0,
        Qt::AlignHCenter);
    layout->addLayout(head);

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(10);
    rows->setVerticalSpacing(8);
    const QList<std::array<QString, 3>> lines = {
        {QStringLiteral("person.fill"), QStringLiteral("Entwickler"), kEntwickler},
        {QStringLiteral("c.circle"), QStringLiteral("Copyright"), kCopyright},
        {QStringLiteral("tag.fill"), QStringLiteral("Version"), panelTexts::versionString()},
    };
    for (int i = 0; i < lines.size(); ++i) {
        rows->addWidget(symbol(lines[i][0], 14, theme::accent), i, 0);
        rows->addWidget(styledLabel(lines[i][1], 13, QFont::Normal, theme::textMuted), i, 1);
        rows->addWidget(styledLabel(lines[i][2], 13), i, 2);
    }
    rows->setColumnStretch(2, 1);
    layout->addLayout(rows);

    auto* foot = new QVBoxLayout;
    foot->setSpacing(12);
    foot->addWidget(styledLabel(QStringLiteral("Alle Rechte vorbehalten."), 11, QFont::Normal, theme::textMuted), 0,
                    Qt::AlignHCenter);
    foot->addWidget(closeButton(this), 0, Qt::AlignHCenter);
    layout->addLayout(foot);
}

} // namespace lumora
