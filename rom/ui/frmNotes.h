#pragma once

// The notes window: the free text kept after the image in the ROM file. Showing
// it changes nothing; every edit stores the whole text as the new notes and
// marks the image modified. Escape closes it.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class IMessageService;
class TRomDocument;
class TSettingsStore;
struct TNotesFormPlacement;

class TNotesForm : public QDialog {
    Q_OBJECT
public:
    TNotesForm(TRomDocument& document, IMessageService& messages, QWidget* parent = nullptr);

    // Shows the document's current notes unless the memo already holds them
    // (so a refresh while typing keeps the cursor where it is). The main window
    // calls it after every load, close and refresh.
    void loadNotes();

    // Placement from the "Notes Form" settings: an unset left edge puts the
    // window beside the main window (its parent), an unset top at the main
    // window's top, unset sizes keep the current size. A placement that would
    // leave the window on no screen falls back to those defaults.
    void applyPlacement(const TNotesFormPlacement& placement);
    [[nodiscard]] TNotesFormPlacement placement() const;
    // Takes the placement whenever settings are applied and writes it back
    // before they are saved, for as long as this window exists.
    void bindSettings(TSettingsStore& store);

    [[nodiscard]] QPlainTextEdit* memNotes() const { return m_memo; }
    [[nodiscard]] QLabel* lblInfo() const { return m_info; }
    // The memo's text with plain "\n" line breaks and every character as typed.
    [[nodiscard]] QString memoText() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void memNotesChange();
    void lblInfoClick();
    void setInfoHighlighted(bool on);

    TRomDocument& m_document;
    IMessageService& m_messages;
    QPlainTextEdit* m_memo = nullptr;
    QLabel* m_info = nullptr;
};
