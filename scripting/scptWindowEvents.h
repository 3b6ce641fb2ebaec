#pragma once

// window.events: the show-options hook of the main window. Setting
// OnShowOptions to the name of a defined function makes the show-options
// command call that function instead of showing the option pages; a name the
// scripts do not define changes nothing. unhook() removes the hook and gives
// the table grid its own drawing back. Loading a ROM removes the hook too.

#include <QObject>
#include <QString>

class TScriptForm;

class TWindowEventsScript : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString OnShowOptions READ onShowOptions WRITE setOnShowOptions)
public:
    explicit TWindowEventsScript(TScriptForm& host, QObject* parent = nullptr);

    [[nodiscard]] QString onShowOptions() const;
    void setOnShowOptions(const QString& function);
    Q_INVOKABLE void unhook();

private:
    TScriptForm& m_host;
};
