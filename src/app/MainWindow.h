#pragma once

#include <QMainWindow>

namespace lumora {

/// The application's single window: 1280 × 760 by default, never smaller than 760 × 540,
/// always dark.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};

/// Applies the fixed dark palette and style to the whole application.
void applyDarkLook();

} // namespace lumora
