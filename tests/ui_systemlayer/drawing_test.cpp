// Drawing a system layer with the mouse, every property dialog, and what the
// saved project holds afterwards.

#include "sl_fixture.h"

#include "ui/diagram/fb_diagram_dialogs.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/systemlayer/sl_renderer.h"
#include "workbench/project_lifecycle.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTabWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QWheelEvent>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace telvo::test {
namespace {

QRgb pixel(const QImage& image, QPoint at) { return image.pixel(at) & 0xFFFFFF; }

// The dialog of that class the window opened last.
template <typename T> T* lastDialog(QWidget* parent)
{
    const QList<T*> all = parent->findChildren<T*>();
    return all.isEmpty() ? nullptr : all.back();
}

struct TIppAnswer {
    const char* Name;
    const char* DataType;
    bool Actuator;
    bool Event;
};

// Answers the next IPP dialogs in order.
void answerIppDialogs(std::vector<TIppAnswer> answers)
{
    auto queue = std::make_shared<std::vector<TIppAnswer>>(std::move(answers));
    RunIppDialog = [queue](QDialog& d) {
        auto& dialog = static_cast<TfrmIppProperties&>(d);
        if (queue->empty())
            return int(QDialog::Rejected);
        const TIppAnswer a = queue->front();
        queue->erase(queue->begin());
        dialog.NameEdit()->setText(QString::fromLatin1(a.Name));
        dialog.DataTypeBox()->setCurrentText(QString::fromLatin1(a.DataType));
        (a.Actuator ? dialog.ActuatorButton() : dialog.SensorButton())->setChecked(true);
        dialog.EventBox()->setChecked(a.Event);
        dialog.DescriptionEdit()->setPlainText(QString::fromLatin1(a.Name) + QStringLiteral(" of the conveyer"));
        return int(QDialog::Accepted);
    };
}

class DrawingTest : public SlFixture {
protected:
    void TearDown() override
    {
        RunIppDialog = [](QDialog& d) { return d.exec(); };
        SlFixture::TearDown();
    }

    // Opens the object's dialog by a double click, fills the common fields
    // and returns it.
    TfrmSlProperties* Dialog(TslObject& o, const char* type, const char* description)
    {
        DoubleClick(Centre(o));
        auto* d = lastDialog<TfrmSlProperties>(Window.get());
        EXPECT_NE(d, nullptr) << o.Name;
        if (!d)
            return nullptr;
        if (type && d->TypeBox())
            d->TypeBox()->setCurrentText(QString::fromLatin1(type));
        if (description)
            d->DescriptionEdit()->setPlainText(QString::fromLatin1(description));
        return d;
    }
    void Ok(TfrmSlProperties* d)
    {
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(d->Accept());
        QApplication::processEvents();
    }
};

TEST_F(DrawingTest, ExamplePlantDrawnFromAnEmptyProjectSavesWhatTheDialogsSet)
{
    NewProject();
    TslObject* computer = AddAt("btnComputer", 40, 30);
    TslObject* network = AddAt("btnNetwork", 200, 60);
    TslObject* switch0 = AddAt("btnSwitch", 200, 150);
    TslObject* switch1 = AddAt("btnSwitch", 400, 150);
    TslObject* iunit = AddAt("btnInterunit", 250, 250);
    TslObject* iecBus = AddAt("btnIECFieldbus", 40, 360);
    TslObject* bus = AddAt("btnNonIECFieldbus", 600, 360);
    TslObject* device0 = AddAt("btnIECDevice", 40, 470);
    TslObject* device1 = AddAt("btnIECDevice", 160, 470);
    TslObject* opc = AddAt("btnOPCDevice", 280, 470);
    TslObject* nonIec = AddAt("btnNonIECDevice", 600, 470);
    TslObject* conveyer = AddAt("btnConveyer", 60, 640);
    ASSERT_TRUE(conveyer);
    EXPECT_EQ(conveyer->Left, 60);
    EXPECT_EQ(conveyer->Top, 640);
    EXPECT_EQ(UI.LogLines().back().rfind("System layer added object :conveyer1"), 0u);

    // Four IPPs through the IPT dialog; the dialog's own fields too.
    answerIppDialogs({{"BottleIn", "Boolean", false, true},
                      {"Motor", "Boolean", true, false},
                      {"Level", "Integer", false, false},
                      {"Valve", "Boolean", true, true}});
    auto* iptDialog = dynamic_cast<TfrmIPTProperties*>(Dialog(*conveyer, nullptr, "Bottle conveyer"));
    ASSERT_NE(iptDialog, nullptr);
    for (int i = 0; i < 4; ++i)
        iptDialog->AddIppClick();
    EXPECT_EQ(iptDialog->IppList()->topLevelItemCount(), 4);
    Ok(iptDialog);
    auto& ipps = static_cast<TslIPT*>(conveyer)->IPPList;
    ASSERT_EQ(ipps.size(), 4u);

    struct TPair {
        TslObject* A;
        TslObject* B;
        int Type;
    };
    const TPair pairs[] = {
        {computer, network, 6}, {switch0, network, 0},  {switch0, switch1, 1}, {switch1, iunit, 2},
        {switch0, computer, 5}, {iecBus, iunit, 3},     {bus, iunit, 4},       {iecBus, device0, 7},
        {iecBus, opc, 7},       {iecBus, device1, 7},   {iecBus, nonIec, 8},   {bus, nonIec, 9},
    };
    for (const TPair& p : pairs) {
        Window->Render();
        TSystemConnection* c = ConnectByMouse(Centre(*p.A), Centre(*p.B));
        ASSERT_NE(c, nullptr) << p.A->Name << " - " << p.B->Name;
        EXPECT_EQ(c->ConnectionType, p.Type) << p.A->Name << " - " << p.B->Name;
    }
    TslObject* ends[] = {device0, device0, device1, opc};
    for (size_t k = 0; k < 4; ++k) {
        TSystemConnection* c = ConnectByMouse(Marker(*ipps[k]), Centre(*ends[k]));
        ASSERT_NE(c, nullptr) << ipps[k]->Name;
        EXPECT_EQ(c->ConnectionType, 10);
    }
    // A pair that cannot be made: the terminator itself is no end.
    const size_t count = Layer().Connections.size();
    EXPECT_EQ(ConnectByMouse(Centre(*device1), Centre(*conveyer)), nullptr);
    EXPECT_EQ(UI.Hints().back().Text, "Connect the IPP markers of a process terminator, not the terminator itself.");
    EXPECT_EQ(ConnectByMouse(Centre(*device1), Centre(*device1)), nullptr);
    EXPECT_EQ(UI.Hints().back().Text, "An object cannot be connected to itself.");
    EXPECT_EQ(Layer().Connections.size(), count);

    // Every dialog.
    Ok(Dialog(*iecBus, "PROFInet", "Cell bus"));
    Ok(Dialog(*bus, "LonWorks", "Sensor bus"));
    auto* iec = dynamic_cast<TfrmIECDeviceProperties*>(Dialog(*device0, "Ethernet TCP/IP compatible", "Filler"));
    ASSERT_NE(iec, nullptr);
    EXPECT_EQ(iec->PortEdit()->text(), QStringLiteral("61499"));
    EXPECT_EQ(iec->InputList()->topLevelItem(0)->text(3), QStringLiteral("BottleIn"));
    EXPECT_EQ(iec->OutputList()->topLevelItem(0)->text(3), QStringLiteral("Motor"));
    iec->AddressEdit()->setText(QStringLiteral("127.0.0.1"));
    iec->PortEdit()->setText(QStringLiteral("70000"));
    EXPECT_FALSE(iec->Accept());
    EXPECT_EQ(UI.Messages().back(), "The port 70000 is not a number from 1 to 65535.");
    iec->PortEdit()->setText(QStringLiteral("61499"));
    iec->NameEdit()->setText(QStringLiteral("Filler"));
    Ok(iec);
    auto* iec1 = dynamic_cast<TfrmIECDeviceProperties*>(Dialog(*device1, nullptr, "Panel controller"));
    ASSERT_NE(iec1, nullptr);
    iec1->AddressEdit()->setText(QStringLiteral("bad host!"));
    EXPECT_FALSE(iec1->Accept());
    EXPECT_EQ(UI.Messages().back(), "The IP address bad host! is neither an IPv4 or IPv6 address nor a host name.");
    iec1->AddressEdit()->setText(QStringLiteral("::1"));
    Ok(iec1);
    Ok(Dialog(*opc, "OPC Data Access 3.0", "Feeder server"));
    Ok(Dialog(*nonIec, nullptr, "Scale"));
    for (TslObject* plain : {computer, network, switch0, iunit})
        Ok(Dialog(*plain, nullptr, nullptr));
    // The IPP dialog from a double click on a marker.
    answerIppDialogs({{"Level", "Integer", false, false}});
    DoubleClick(Marker(*ipps[2]));
    EXPECT_EQ(ipps[2]->TypeName, "Integer");

    // No dialog left open; nothing asked that was not answered.
    QApplication::processEvents();
    SaveProject(*Workbench);
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "info", ProjectFile});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::string expected = "project\tDrawn\t" + ProjectFile + "\n"
                                 "uml\t\n"
                                 // Clicks bring objects to the top: the file keeps the drawing order.
                                 "object\t1\tIEC_fieldbus0\tPROFInet\n"
                                 "object\t3\tFiller\tEthernet TCP/IP compatible\n"
                                 "object\t3\tIEC_Device1\tUnspecified\n"
                                 "object\t4\tOPC_Device0\tOPC Data Access 3.0\n"
                                 "object\t6\tcomputer0\t\n"
                                 "object\t0\tnetwork0\t\n"
                                 "object\t2\tfieldbus0\tLonWorks\n"
                                 "object\t5\tNonIECdevice0\tUnspecified\n"
                                 "object\t7\tIUnit0\t\n"
                                 "object\t8\tswitch1\t\n"
                                 "object\t8\tswitch0\t\n"
                                 "object\t9\tconveyer0\tConveyer\n"
                                 "ipp\tconveyer0\tBottleIn\tBoolean\tsensor\tevent\tDigitalInput_0\n"
                                 "ipp\tconveyer0\tMotor\tBoolean\tactuator\tdata\tDigitalOutput_0\n"
                                 "ipp\tconveyer0\tLevel\tInteger\tsensor\tdata\tDigitalInput_0\n"
                                 "ipp\tconveyer0\tValve\tBoolean\tactuator\tevent\tDigitalOutput_0\n"
                                 "connection\tConnection_0\t6\tcomputer0\tnetwork0\n"
                                 "connection\tConnection_1\t0\tswitch0\tnetwork0\n"
                                 "connection\tConnection_2\t1\tswitch0\tswitch1\n"
                                 "connection\tConnection_3\t2\tswitch1\tIUnit0\n"
                                 "connection\tConnection_4\t5\tswitch0\tcomputer0\n"
                                 "connection\tConnection_5\t3\tIEC_fieldbus0\tIUnit0\n"
                                 "connection\tConnection_6\t4\tfieldbus0\tIUnit0\n"
                                 "connection\tConnection_7\t7\tIEC_fieldbus0\tFiller\n"
                                 "connection\tConnection_8\t7\tIEC_fieldbus0\tOPC_Device0\n"
                                 "connection\tConnection_9\t7\tIEC_fieldbus0\tIEC_Device1\n"
                                 "connection\tConnection_10\t8\tIEC_fieldbus0\tNonIECdevice0\n"
                                 "connection\tConnection_11\t9\tfieldbus0\tNonIECdevice0\n"
                                 "connection\tConnection_12\t10\tconveyer0+||+BottleIn\tFiller\n"
                                 "connection\tConnection_13\t10\tconveyer0+||+Motor\tFiller\n"
                                 "connection\tConnection_14\t10\tconveyer0+||+Level\tIEC_Device1\n"
                                 "connection\tConnection_15\t10\tconveyer0+||+Valve\tOPC_Device0\n";
    EXPECT_EQ(r.Out, expected);
    // And what project info does not show: the device's address survived.
    EXPECT_NE(ReadFile(ProjectFile).find("127.0.0.1"), std::string::npos);
    EXPECT_NE(ReadFile(ProjectFile).find("Bottle conveyer"), std::string::npos);
}

TEST_F(DrawingTest, PaintShowsFieldbusArrowMarkersSymbolsAndSelectedConnection)
{
    NewProject();
    TslObject* bus = AddAt("btnIECFieldbus", 100, 100);
    TslObject* device = AddAt("btnIECDevice", 100, 250);
    TslObject* ipt = AddAt("btnCustomIPT", 400, 250);
    TslIPPRef* sensor = static_cast<TslIPT*>(ipt)->AddIpp("S", "Boolean", TslIPPRef::Sensor);
    TslIPPRef* actuator = static_cast<TslIPT*>(ipt)->AddIpp("A", "Boolean", TslIPPRef::Actuator);
    actuator->IsEventIPP = true;
    TSystemConnection* c = ConnectByMouse(Centre(*bus), Centre(*device));
    ASSERT_NE(c, nullptr);
    Window->Render();
    const QImage& image = Window->Image();
    const int m = bus->Top + bus->Height / 2;
    EXPECT_EQ(pixel(image, {bus->Left + 30, m}), SystemLayerColour::FieldbusFill);
    EXPECT_EQ(pixel(image, {bus->Left + 30, m - 5}), SystemLayerColour::Navy);
    // Markers: sensor data, actuator event, each in its colour.
    EXPECT_EQ(pixel(image, {ipt->Left + 6, ipt->Top - 3}), SystemLayerColour::SensorData);
    EXPECT_EQ(pixel(image, {ipt->Left + 21, ipt->Top - 3}), SystemLayerColour::ActuatorEvent);
    // The custom IPT's box grows with its IPPs.
    EXPECT_EQ(ipt->Width, 30 + 15 * 2);
    (void)sensor;

    // A connection picked in selection mode turns red.
    const QPoint onLine(Centre(*device).x(), (bus->Top + bus->Height + device->Top) / 2);
    Click(onLine);
    EXPECT_EQ(Layer().SelectedConnection, c);
    EXPECT_EQ(pixel(Window->Image(), onLine), SystemLayerColour::Selected);
}

TEST_F(DrawingTest, HitTestsFollowScrollAndZoom)
{
    NewProject();
    TslObject* device = AddAt("btnIECDevice", 300, 200);
    // Ten positions to the right: everything 50 pixels further left.
    Window->HorizontalBar()->setValue(10);
    EXPECT_EQ(Layer().ScrollX, -50);
    Click(QPoint(device->Left + device->Width - 5, device->Top + 10));
    EXPECT_EQ(Layer().SelectedObject, nullptr);
    Click(QPoint(device->Left - 40, device->Top + 10));
    EXPECT_EQ(Layer().SelectedObject, device);
    Window->HorizontalBar()->setValue(0);

    for (const char* zoom : {"50%", "200%", "150"}) {
        Window->ZoomTextEntered(QString::fromLatin1(zoom));
        Window->Render();
        Click(QPoint(5, 5));
        ASSERT_EQ(Layer().SelectedObject, nullptr) << zoom;
        // The first and last pixel of the scaled box hit; one beyond misses.
        const QPoint first = Window->ToView(device->Left, device->Top);
        const QPoint last = Window->ToView(device->Left + device->Width, device->Top + device->Height);
        Click(first);
        EXPECT_EQ(Layer().SelectedObject, device) << zoom;
        Click(last);
        EXPECT_EQ(Layer().SelectedObject, device) << zoom;
        Click(last + QPoint(int(Window->Zoom()) + 2, int(Window->Zoom()) + 2));
        EXPECT_EQ(Layer().SelectedObject, nullptr) << zoom;
        // Dragging at this zoom moves the object by the model distance.
        const int left = device->Left;
        Drag(Window->ToView(device->Left + 5, device->Top + 5), Window->ToView(device->Left + 25, device->Top + 5));
        EXPECT_NEAR(device->Left, left + 20, 1) << zoom;
    }
    Window->ZoomStep(1);
    EXPECT_DOUBLE_EQ(Window->Zoom(), 1.88);
}

TEST_F(DrawingTest, MissingPictureDrawsBlankAndIsLoggedOnce)
{
    NewProject();
    TslObject* device = AddAt("btnIECDevice", 100, 100);
    TslObject* other = AddAt("btnIECDevice", 300, 100);
    Home.Write("images/broken.bmp", "not a picture");
    for (TslObject* o : {device, other})
        o->SetImage((Home.Path() / "images" / "gone.bmp").string());
    other->SetImage((Home.Path() / "images" / "broken.bmp").string());
    device->SetImage((Home.Path() / "images" / "gone.bmp").string());
    Window->Render();
    Window->Render();
    for (const char* file : {"gone.bmp", "broken.bmp"}) {
        size_t told = 0;
        for (const std::string& line : UI.LogLines())
            told += line.find(file) != std::string::npos &&
                    line.find("is missing or cannot be read; a blank picture is drawn instead.") != std::string::npos;
        EXPECT_EQ(told, 1u) << file;
    }
    EXPECT_EQ(pixel(Window->Image(), {device->Left + 30, device->Top + 20}), 0xFFFFFFu);
}

TEST_F(DrawingTest, DeletingAskedAndTheIppIsNotDeletedFromTheEditor)
{
    NewProject();
    TslObject* device = AddAt("btnIECDevice", 100, 250);
    TslObject* ipt = AddAt("btnCustomIPT", 300, 250);
    TslIPPRef* ipp = static_cast<TslIPT*>(ipt)->AddIpp("S", "Boolean", TslIPPRef::Sensor);
    ASSERT_NE(ConnectByMouse(Marker(*ipp), Centre(*device)), nullptr);

    Click(Marker(*ipp));
    Window->DeleteClick();
    EXPECT_EQ(UI.Hints().back().Text, "You can delete only the IPT");
    EXPECT_EQ(Layer().Connections.size(), 1u);

    UI.QueueAnswer(false);
    Click(Centre(*device));
    Window->DeleteClick();
    EXPECT_EQ(UI.Questions().back(), "Delete IEC_Device0 ?");
    EXPECT_EQ(Layer().Objects.size(), 2u);

    UI.QueueAnswer(true);
    Click(Centre(*device));
    Window->DeleteClick();
    EXPECT_EQ(UI.LogLines().back(), "Deleted object :IEC_Device0");
    EXPECT_EQ(Layer().Objects.size(), 1u);
    EXPECT_TRUE(Layer().Connections.empty());
    EXPECT_EQ(Layer().SelectedObject, nullptr);
    // Edit with nothing selected does nothing.
    Window->EditClick();
    EXPECT_TRUE(Window->findChildren<TfrmSlProperties*>().isEmpty());
}

TEST_F(DrawingTest, PopupMenuNamesTheSelectionAndOffersFreeRecords)
{
    OpenExample();
    TslObject* opc = Layer().FindByName("OPC_Device0");
    ASSERT_NE(opc, nullptr);
    Click(Centre(*opc));
    Window->UpdateContextMenu();
    EXPECT_EQ(Window->ContextMenu()->actions().front()->text(), QStringLiteral("Properties of OPC_Device0..."));
    ASSERT_TRUE(Window->DownloadMenu()->menuAction()->isEnabled());
    ASSERT_EQ(Window->DownloadMenu()->actions().size(), 7) << ::testing::PrintToString(UI.Messages());
    // Every record of the example is distributed already.
    for (QAction* item : Window->DownloadMenu()->actions())
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    EXPECT_EQ(Window->DownloadMenu()->actions().front()->text(), QStringLiteral("bottle_split (E_SPLIT)"));
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// Every dialog on the example plant, grabbed; with TELVO_SCREENSHOT_DIR set
// (scripts/screenshot-systemlayer --dialogs) the pictures are written there
// to be looked at.
TEST_F(DrawingTest, EveryDialogShowsItsFieldsUnclipped)
{
    OpenExample();
    const QString folder = qEnvironmentVariable("TELVO_SCREENSHOT_DIR");
    auto save = [&](QWidget* w, const QString& name) {
        ASSERT_NE(w, nullptr) << name.toStdString();
        w->show();
        QApplication::processEvents();
        const QPixmap picture = w->grab();
        EXPECT_FALSE(picture.isNull());
        // Every button shows its whole text.
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->isVisible()) {
                EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text())) << b->text().toStdString();
            }
        if (!folder.isEmpty())
            picture.save(folder + QStringLiteral("/dialog-") + name + QStringLiteral(".png"));
    };
    const std::pair<const char*, const char*> objects[] = {
        {"IEC_fieldbus0", "iec-fieldbus"}, {"IEC_Device0", "iec-device"}, {"OPC_Device0", "opc-device"},
        {"conveyer0", "ipt"},              {"computer0", "computer"},     {"network0", "network"},
        {"IUnit0", "interworking-unit"},   {"switch0", "switch"}};
    for (const auto& [object, name] : objects) {
        QDialog* d = ShowObjectProperties(*Window, *Layer().FindByName(object));
        if (auto* iec = dynamic_cast<TfrmIECDeviceProperties*>(d); iec && iec->Tabs()->count() > 6) {
            iec->Tabs()->setCurrentIndex(iec->Tabs()->count() - 1);
            save(d, QString::fromLatin1(name) + QStringLiteral("-advanced"));
            iec->Tabs()->setCurrentIndex(1);
        }
        save(d, QString::fromLatin1(name));
        d->close();
    }
    TslObject* nonIec = Window->AddFromPalette(slNonIECDevice);
    QDialog* d = ShowObjectProperties(*Window, *nonIec);
    save(d, QStringLiteral("non-iec-device"));
    d->close();
    TslObject* bus = Window->AddFromPalette(slNonIECFieldbus);
    d = ShowObjectProperties(*Window, *bus);
    save(d, QStringLiteral("non-iec-fieldbus"));
    d->close();
    d = ShowConnectionProperties(*Window, *Layer().Connections.front());
    save(d, QStringLiteral("connection"));
    d->close();
    TfrmIppProperties ipp(*static_cast<TslIPT*>(Layer().FindByName("conveyer0"))->IPPList[0], nullptr);
    save(&ipp, QStringLiteral("ipp"));
    TfrmSelectIPPfromIPT picker;
    picker.Fill(Layer());
    save(&picker, QStringLiteral("ipp-picker"));
    picker.close();
    Window->resize(900, 700);
    save(Window.get(), QStringLiteral("editor"));
}

// Objects from the palette land where none lies, and a press on objects
// lying over one another takes the one drawn on top.
TEST_F(DrawingTest, NewObjectsStepAsideAndAPressTakesTheObjectOnTop)
{
    NewProject();
    for (const char* button : {"btnIECDevice", "btnIECDevice", "btnComputer", "btnConveyer", "btnIECFieldbus"})
        QTest::mouseClick(Window->Button(QString::fromLatin1(button)), Qt::LeftButton);
    ASSERT_EQ(Layer().Objects.size(), 5u);
    EXPECT_EQ(Layer().Objects[0]->Left, 20);
    EXPECT_EQ(Layer().Objects[0]->Top, 20);
    // Each box with the name line below it covers no other.
    auto area = [](const TslObject& o) { return QRect(o.Left, o.Top, o.Width, o.Height + 15); };
    for (size_t i = 0; i < 5; ++i)
        for (size_t j = i + 1; j < 5; ++j)
            EXPECT_FALSE(area(*Layer().Objects[i]).intersects(area(*Layer().Objects[j])))
                << Layer().Objects[i]->Name << " " << Layer().Objects[j]->Name;

    TslObject* lower = Layer().Objects[0].get();
    TslObject* upper = Layer().Objects[1].get();
    Drag(QPoint(upper->Left + 3, upper->Top + 3), QPoint(lower->Left + 13, lower->Top + 13));
    ASSERT_EQ(upper->Left, lower->Left + 10);
    ASSERT_EQ(Layer().Objects.back().get(), upper);
    // The shared part shows the upper one: the press and the drag are its.
    const QPoint shared(lower->Left + 20, lower->Top + 20);
    Press(shared);
    EXPECT_EQ(Layer().SelectedObject, upper);
    Move(QPoint(600, 500));
    Release(QPoint(600, 500));
    EXPECT_EQ(lower->Left, 20);
    EXPECT_EQ(upper->Left, 600 - 10);
}

TEST_F(DrawingTest, CtrlWheelZoomsAboutTheMouse)
{
    NewProject();
    TslObject* device = AddAt("btnIECDevice", 400, 300);
    auto wheel = [&](QPoint at, int notches) {
        QWheelEvent e(QPointF(at), QPointF(Window->PaintBox()->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Window->PaintBox(), &e);
    };
    // The device's centre stays under the mouse, to the scroll bars' step
    // of 5 layer pixels.
    const QPoint mouse = Centre(*device);
    const double zooms[] = {1.25, 1.56, 1.95, 1.56};
    const int notches[] = {1, 1, 1, -1};
    for (size_t k = 0; k < 4; ++k) {
        wheel(mouse, notches[k]);
        EXPECT_DOUBLE_EQ(Window->Zoom(), zooms[k]);
        const QPoint now = Centre(*device);
        EXPECT_NEAR(now.x(), mouse.x(), 5 * Window->Zoom()) << zooms[k];
        EXPECT_NEAR(now.y(), mouse.y(), 5 * Window->Zoom()) << zooms[k];
        // And a press there takes the device.
        Click(mouse);
        EXPECT_EQ(Layer().SelectedObject, device) << zooms[k];
    }
}

TEST_F(DrawingTest, NoDragSurvivesADialog)
{
    NewProject();
    TslObject* device = AddAt("btnIECDevice", 300, 200);
    const QPoint at = Centre(*device);
    // A double click opens the device's dialog; the release that follows
    // may never reach the drawing (a modal dialog takes it).
    Press(at);
    Release(at);
    Press(at);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(at), QPointF(Window->PaintBox()->mapToGlobal(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window->PaintBox(), &twice);
    QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(200, 150)),
                     QPointF(Window->PaintBox()->mapToGlobal(at + QPoint(200, 150))), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(Window->PaintBox(), &move);
    EXPECT_EQ(device->Left, 300);
    EXPECT_EQ(device->Top, 200);
    for (QDialog* d : Window->findChildren<QDialog*>())
        d->close();
}

// The selection frame runs along the object's own box.
TEST_F(DrawingTest, SelectionFrameRunsAlongTheBox)
{
    NewProject();
    TslObject* bus = AddAt("btnIECFieldbus", 200, 200);
    Click(QPoint(bus->Left + 50, bus->Top + 5));
    ASSERT_EQ(Layer().SelectedObject, bus);
    Window->Render();
    const QImage& image = Window->Image();
    auto blackIn = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int x = x0; x <= x1; ++x)
            for (int y = y0; y <= y1; ++y)
                n += pixel(image, {x, y}) == 0u;
        return n;
    };
    const int L = bus->Left, T = bus->Top, R = L + bus->Width - 1, B = T + bus->Height - 1;
    EXPECT_GT(blackIn(L, T + 1, L, B - 1), 0) << "left edge";
    EXPECT_GT(blackIn(R, T + 1, R, B - 1), 0) << "right edge";
    EXPECT_GT(blackIn(L + 1, T, R - 1, T), 0) << "top edge";
    EXPECT_GT(blackIn(L + 1, B, R - 1, B), 0) << "bottom edge";
    EXPECT_EQ(blackIn(L - 3, T - 3, L - 1, B + 3), 0) << "left of the box";
    EXPECT_EQ(blackIn(L - 3, T - 3, R + 3, T - 1), 0) << "above the box";
    EXPECT_EQ(blackIn(R + 1, T - 3, R + 3, B + 3), 0) << "right of the box";
}

// The IPP picker of the FB diagrams: a black pop-up with its instruction,
// the IPPs and "Add selected"; "Create new..." is there but never shown.
TEST_F(DrawingTest, IppPickerShowsItsInstructionAndHidesCreateNew)
{
    OpenExample();
    TfrmSelectIPPfromIPT picker;
    picker.Fill(Layer());
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    EXPECT_TRUE(picker.windowFlags().testFlag(Qt::Popup));
    auto* hint = picker.findChild<QLabel*>("lblHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->text(),
              QStringLiteral("You can select multiple IPPs by holding the CTRL or SHIFT key and the press Add"));
    EXPECT_TRUE(hint->isVisible());
    auto* create = picker.findChild<QPushButton*>("btnCreateNew");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->text(), QStringLiteral("Create new..."));
    EXPECT_FALSE(create->isVisible());
    EXPECT_TRUE(picker.findChild<QPushButton*>("btnAddSelected")->isVisible());
    EXPECT_EQ(picker.Tree()->selectionMode(), QAbstractItemView::ExtendedSelection);
    const QImage look = picker.grab().toImage();
    EXPECT_EQ(pixel(look, {1, 1}), 0u);
    EXPECT_EQ(pixel(look, {look.width() - 2, look.height() - 2}), 0u);
    picker.close();
}

} // namespace
} // namespace telvo::test
