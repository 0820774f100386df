#pragma once
// The "Service" page of the FB type editor: the first service of the working
// type (interface names, comment, sequences and their primitives) and the
// time-sequence picture of the sequence chosen. Every change is one step of
// the type editor's undo stack.

#include <QImage>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace telvo {

class TFB_Service;
class TFB_ServiceSequence;
class TfrmDesignFBType;

// The time-sequence picture of one sequence of a service (none: "<empty>").
void PaintServiceSequence(QImage& image, const TFB_Service* service, const TFB_ServiceSequence* sequence);

class TServicePicture;

class TServicePage : public QWidget {
public:
    explicit TServicePage(TfrmDesignFBType& editor, QWidget* parent = nullptr);

    // A new working type: the fields and lists again.
    void Fill();
    void Repaint();

    void AddSequenceClick();
    void DeleteSequenceClick();
    void AddTransactionClick();
    void DeleteTransactionClick();
    // A typed cell of the sequence grid or the transaction grid.
    void SequenceEdited(int row, const QString& text);
    void TransactionEdited(int row, int column, const QString& text);
    void SetInterfaceText(bool left, const QString& text);
    void SetComment(const QString& text);

    QTableWidget* Sequences() const { return sgServices_; }
    QTableWidget* Transactions() const { return sgTransactions_; }
    const QImage& Image() const;

private:
    TFB_Service* service() const;
    TFB_ServiceSequence* current() const;
    void refresh();

    TfrmDesignFBType& editor_;
    bool filling_ = false;
    QLineEdit* edtLeft_ = nullptr;
    QLineEdit* edtRight_ = nullptr;
    QLineEdit* edtComment_ = nullptr;
    QTableWidget* sgServices_ = nullptr;
    QTableWidget* sgTransactions_ = nullptr;
    QPushButton* btnDeleteSequence_ = nullptr;
    QPushButton* btnAddTransaction_ = nullptr;
    QPushButton* btnDeleteTransaction_ = nullptr;
    TServicePicture* picture_ = nullptr;
};

} // namespace telvo
