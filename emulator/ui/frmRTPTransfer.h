#pragma once

// The transfer window: the status text and progress bar of the running
// emulator operation. It only shows the link's state; Escape cancels, and it
// refuses to close while the link is busy. While it is open the main window
// takes no input (the window is application-modal).

#include <QDialog>

class QLabel;
class QProgressBar;
class TRTPForm;
struct TRTPResult;

class TRTPTransferForm : public QDialog {
    Q_OBJECT
public:
    TRTPTransferForm(TRTPForm& link, QWidget* parent = nullptr);

    // Shows the window for the operation that just started.
    void showTransfer();

protected:
    void reject() override; // Escape
    void closeEvent(QCloseEvent* e) override;

private:
    void linkFinished(const TRTPResult& result);

    TRTPForm& m_link;
    QLabel* lblStatus;
    QProgressBar* pbTransfer;
};
