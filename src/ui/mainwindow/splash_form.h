#pragma once
// The splash window shown before the main window exists, and the about box.

#include <QDialog>
#include <QSplashScreen>

namespace telvo {

class TfrmSplash : public QSplashScreen {
    Q_OBJECT
public:
    TfrmSplash();
    static QString VersionText() { return QStringLiteral(" Version 1.0.0"); }
};

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    static QString VersionText() { return QStringLiteral("Version 1.0.0"); }
};

} // namespace telvo
