#pragma once
// The workbench's own pictures: the main image list of the project tree
// (indexes 0 to 14), the tool-bar icons and the product banner. All are
// vector drawings, crisp at any scale.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace telvo {

// Indexes of the main image list.
enum TMainImage : int {
    imgFBDiagram = 0,
    imgSystemLayer = 1,
    imgFBType = 2,
    imgDevice = 3,
    imgFBInstance = 4,
    imgLibrary = 5,
    imgSystemObject = 6,
    imgConnection = 7,
    imgProject = 8,
    imgApplication = 9,
    imgIPP = 10,
    imgUseCaseDiagram = 11,
    imgInteractionDiagram = 12,
    imgActor = 13,
    imgUseCase = 14,
};
inline constexpr int MainImageCount = 15;

// The image at that index of the main image list; a null icon outside 0..14.
QIcon MainImage(int index);
// A named icon of resources/icons ("open_project", "save", ...).
QIcon ToolIcon(const QString& name);
// The product banner of the splash window, the start center and the about
// box: the product name on a dark ground, with `subtitle` under it.
QPixmap ProductBanner(QSize size, qreal devicePixelRatio, const QString& subtitle = QString());

} // namespace telvo
