#pragma once

// The plug-in editor window (Plugins > Plugin Manager): the installed
// plug-ins of plugins.js (entries whose file is missing greyed), the path
// field (a double click browses), the list commands, Install, OK and Cancel.
// The state and the rules live in TPluginEditor; this only shows them.

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;
class TPluginEditor;

class TPluginForm : public QDialog {
    Q_OBJECT
public:
    // The editor is loaded by the caller; OK saves it and closes only when
    // the file was written.
    explicit TPluginForm(TPluginEditor& editor, QWidget* parent = nullptr);
    ~TPluginForm() override;

    [[nodiscard]] TPluginEditor& editor() { return m_editor; }
    [[nodiscard]] QListWidget* plugins() const { return lbPlugins; }
    [[nodiscard]] QLineEdit* path() const { return txtPath; }
    // The command buttons by name: btnAdd, btnReplace, btnDelete, btnUp,
    // btnDown, btnDeletePaths, btnBrowse, btnInstall.
    [[nodiscard]] QPushButton* button(const QString& name) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void okClick();

    TPluginEditor& m_editor;
    QListWidget* lbPlugins;
    QLineEdit* txtPath;
    QList<QPushButton*> m_buttons;
    bool m_refreshing = false;
};
