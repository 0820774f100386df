#pragma once
// A small plant for the rendering tests: types made in memory with the port
// counts a case needs, a real FB manager with its diagrams and records, and
// a system layer for IPPs.

#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"
#include "ui/diagram/diagram_renderer.h"

#include <QColor>
#include <QImage>

#include <memory>
#include <string>

namespace telvo::test {

// A type named `name` with ports EI1.., EO1.., DI1.., DO1.. (data of type INT).
std::unique_ptr<TFB_Type> MakeType(const std::string& name, int eventIn, int eventOut, int dataIn, int dataOut);

class TPlant {
public:
    TPlant();
    ~TPlant();

    TFB_Type* AddType(const std::string& name, int eventIn, int eventOut, int dataIn, int dataOut);
    TFB_Diagram* Diagram(const std::string& name = "D");
    // A drawn instance of the type placed at (x, y) on the diagram's zoom.
    TFB_Instance* Place(TFB_Diagram* diagram, const std::string& name, const std::string& type, int x, int y);
    TFB_EventAssocRef* ConnectEvent(TFB_Instance* from, int output, TFB_Instance* to, int input);
    TFB_DataAssocRef* ConnectData(TFB_Instance* from, int output, TFB_Instance* to, int input);
    // Paints the diagram on a white image of that size.
    QImage Paint(TFB_Diagram* diagram, int width = 800, int height = 600, TDiagramView view = {});

    TSystemLayerManager Layer;
    TFB_Manager Manager;
};

QColor Pixel(const QImage& image, int x, int y);
// The points of a line as (x, y) pairs.
std::vector<std::pair<int, int>> PointsOf(const Tlineobj& line);

} // namespace telvo::test
