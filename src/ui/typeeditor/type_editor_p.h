#pragma once
// What the parts of the FB type editor (type_editor.cpp and the page files
// beside it) share and no one else needs. Included only by those files.

#include <QFontDatabase>
#include <QString>
#include <QWidget>

#include <string>

namespace telvo {
namespace {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

inline void fixedFont(QWidget* w) { w->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); }

} // namespace

// The inner FBs and connections of a file's network that the model could
// not make (a type missing from the library, a port its library type lacks):
// "FB (TYPE)" and "SOURCE -> DESTINATION", joined by ", "; empty when the
// written text holds them all.
std::string lostNetworkParts(const std::string& fileText, const std::string& written);

} // namespace telvo
