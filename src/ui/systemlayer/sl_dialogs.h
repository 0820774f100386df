#pragma once
// The property dialogs of system layer objects and connections. Every one
// but the IPP dialog is non-modal, stays on top, is centred and goes when
// closed; OK checks the fields, writes them back as one undoable edit of the
// system layer window and repaints it.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QElapsedTimer;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QVBoxLayout;

namespace telvo {

class TPosixDeviceConnection;
class TSystemConnection;
class TWorkbench;
class TfrmSystemLayer;
class TslDevice;
class TslIPPRef;
class TslObject;

// Whether a text can be a device's address: an IPv4 or IPv6 literal or a
// host name. And a port: a whole number from 1 to 65535.
bool ValidDeviceAddress(const std::string& text);
bool ValidDevicePort(const std::string& text);

// The common frame: caption, the fields of one object named by its key in
// the window, OK and Cancel.
class TfrmSlProperties : public QDialog {
    Q_OBJECT
public:
    TfrmSlProperties(TfrmSystemLayer& editor, TslObject& object, const QString& caption);
    ~TfrmSlProperties() override;

    // The object edited, or none when it is gone from the layer.
    TslObject* Object() const;
    QLineEdit* NameEdit() const { return edName_; }
    QComboBox* TypeBox() const { return cbType_; }
    QPlainTextEdit* DescriptionEdit() const { return edDescription_; }
    QPushButton* OkButton() const { return btnOk_; }
    QPushButton* CancelButton() const { return btnCancel_; }
    QTabWidget* Tabs() const { return tabs_; }

    // OK: checks, writes, closes. False (and the dialog stays) when a field
    // is refused or the object is gone.
    bool Accept();

protected:
    // The common fields; a dialog without them shows none.
    void addCommonFields(const QStringList& types, const QString& nameCaption = QStringLiteral("Name:"));
    QTabWidget* addTabs();
    void addButtons();
    // Kind-specific checks and writes; the base writes name, type and
    // description.
    virtual bool check() { return true; }
    virtual void write(TslObject& object);
    void message(const std::string& text) const;

    QPointer<TfrmSystemLayer> editor_;
    TWorkbench& workbench_;
    int key_;
    QVBoxLayout* layout_;
    QLineEdit* edName_ = nullptr;
    QComboBox* cbType_ = nullptr;
    QPlainTextEdit* edDescription_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QPushButton* btnOk_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
};

// The IEC device dialog's "Advanced" page and its "Test Communication".
class TfrmIECDeviceProperties;

// Opens the dialog of the object's kind (the OPC device's own window when
// one is installed) and returns it.
QDialog* ShowObjectProperties(TfrmSystemLayer& editor, TslObject& object);
QDialog* ShowConnectionProperties(TfrmSystemLayer& editor, TSystemConnection& connection);

// "IPP properties", modal: true when confirmed with OK. `editor` may be none
// (opened from the project tree without the system layer window); then the
// edit is made without an undo entry.
bool EditIppProperties(QWidget* parent, TWorkbench& workbench, TslIPPRef& ipp, TfrmSystemLayer* editor);
// How EditIppProperties runs its dialog: exec() unless a test answers it.
extern std::function<int(QDialog&)> RunIppDialog;

// The OPC device's properties window, installed by the OPC work; until then
// the OPC device gets the common device dialog.
extern std::function<QDialog*(TfrmSystemLayer& editor, TslDevice& device)> OpcDevicePropertiesFactory;

// Test Communication: how long an attempt may take before the dialog gives up.
inline constexpr int TestCommunicationTimeoutMs = 5000;

class TfrmIECDeviceProperties final : public TfrmSlProperties {
    Q_OBJECT
public:
    TfrmIECDeviceProperties(TfrmSystemLayer& editor, TslDevice& device, const QString& caption);
    ~TfrmIECDeviceProperties() override;

    QLineEdit* AddressEdit() const { return edAddress_; }
    QLineEdit* PortEdit() const { return edPort_; }
    QPushButton* TestButton() const { return btnTest_; }
    QTreeWidget* DownloadedList() const { return lvDownloaded_; }
    QTreeWidget* InputList() const { return lvInputs_; }
    QTreeWidget* OutputList() const { return lvOutputs_; }
    QLabel* TestResult() const { return lblTest_; }
    // Whether a Test Communication attempt is under way.
    bool Testing() const;
    void TestCommunicationClick();
    void DeleteFBClick();
    int TestTimeoutMs = TestCommunicationTimeoutMs;

protected:
    bool check() override;
    void write(TslObject& object) override;

private:
    void pollTest();
    void testFinished(int error, bool timedOut);
    void fillDownloaded();

    bool iec_;
    QLineEdit* edAddress_ = nullptr;
    QLineEdit* edPort_ = nullptr;
    QPushButton* btnTest_ = nullptr;
    QLabel* lblTest_ = nullptr;
    QTreeWidget* lvInputs_ = nullptr;
    QTreeWidget* lvOutputs_ = nullptr;
    QTreeWidget* lvDownloaded_ = nullptr;
    std::unique_ptr<TPosixDeviceConnection> connection_;
    QTimer* testTimer_ = nullptr;
    std::unique_ptr<QElapsedTimer> testClock_;
};

class TfrmIPTProperties final : public TfrmSlProperties {
    Q_OBJECT
public:
    TfrmIPTProperties(TfrmSystemLayer& editor, TslObject& ipt);

    QTreeWidget* IppList() const { return lvIpps_; }
    QLabel* Picture() const { return lblPicture_; }
    void AddIppClick();
    void EditIppClick();
    void DeleteIppClick();
    void ChangePictureClick();
    // The picture file dialog (tests answer it).
    std::function<QString()> AskPictureFile;

protected:
    void write(TslObject& object) override;

private:
    void refresh();
    QTreeWidget* lvIpps_ = nullptr;
    QLabel* lblPicture_ = nullptr;
};

class TfrmIppProperties final : public QDialog {
    Q_OBJECT
public:
    TfrmIppProperties(TslIPPRef& ipp, QWidget* parent);
    QLineEdit* NameEdit() const { return edName_; }
    QComboBox* DataTypeBox() const { return cbDataType_; }
    QRadioButton* SensorButton() const { return rbSensor_; }
    QRadioButton* ActuatorButton() const { return rbActuator_; }
    QPlainTextEdit* DescriptionEdit() const { return edDescription_; }
    QCheckBox* EventBox() const { return cbEvent_; }
    QLabel* OwnerLabel() const { return lblOwner_; }
    // Writes the fields into the IPP.
    void WriteTo(TslIPPRef& ipp) const;

private:
    QLineEdit* edName_;
    QComboBox* cbDataType_;
    QRadioButton* rbSensor_;
    QRadioButton* rbActuator_;
    QPlainTextEdit* edDescription_;
    QCheckBox* cbEvent_;
    QLabel* lblOwner_;
};

} // namespace telvo
