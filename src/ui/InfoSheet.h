#pragma once

#include <QDialog>
#include <QList>
#include <QSize>
#include <QString>

namespace lumora {

/// One row of the info sheet's feature list.
struct Feature {
    QString symbol;
    QString title;
    QString description;
    QString badge; ///< empty: none
};

/// The info sheet ("Info & Funktionen"): symbol, product name, version, the feature list and
/// "Schließen" (also Escape). Window-modal over the main window.
class InfoSheet : public QDialog {
    Q_OBJECT
public:
    InfoSheet(QSize fensterGroesse, QWidget* parent = nullptr);

    /// The features in order. No badge on "KI-Szene": here it runs on any processor.
    [[nodiscard]] static const QList<Feature>& features();
    /// The sheet's size for a window content of `fensterGroesse`: 40 less each way, the width
    /// within 360…520, the height within 400…640 (the maximum while the size is unknown).
    [[nodiscard]] static QSize sheetSize(QSize fensterGroesse);
};

/// The hidden credits view, opened by the hidden key sequence.
class HiddenView : public QDialog {
    Q_OBJECT
public:
    explicit HiddenView(QWidget* parent = nullptr);

    static const QString kEntwickler;
    static const QString kCopyright;
};

} // namespace lumora
