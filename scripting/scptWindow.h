#pragma once

// The window object, root of the script object model: the host registers one
// as the global `window` with every member also global. It gives scripts
// dialogs, string and path helpers, process launching, the registrations of
// plug-ins, ROM handlers, custom tables and wideband conversions, serial port
// settings and the other objects. It holds no state of its own: every member
// acts on the host and what the host's environment points at.
//
// Numbers arrive as double and are checked against the width the member
// declares (scriptArg); variants are taken as their text.

#include <QJSValue>
#include <QObject>
#include <QString>

class TScriptForm;

class TWindowScript : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* rom READ rom)
    Q_PROPERTY(QObject* files READ files)
    Q_PROPERTY(QObject* events READ events)
    Q_PROPERTY(QObject* customTable READ customTable)
    Q_PROPERTY(int showMph READ showMph)
    Q_PROPERTY(int showPsi READ showPsi)
    Q_PROPERTY(int showFahrenheit READ showFahrenheit)
    Q_PROPERTY(int showAFR READ showAFR)
public:
    explicit TWindowScript(TScriptForm& host, QObject* parent = nullptr);

    Q_INVOKABLE void alert(const QJSValue& Msg = QJSValue());
    Q_INVOKABLE bool confirm(const QJSValue& Msg);
    Q_INVOKABLE QString prompt(const QJSValue& Caption, const QJSValue& Msg, const QJSValue& Default);
    Q_INVOKABLE void refresh();
    Q_INVOKABLE QString DecToHex(double DecValue);
    Q_INVOKABLE int LoByte(double W);
    Q_INVOKABLE int HiByte(double W);
    Q_INVOKABLE void shell(const QJSValue& filename, const QJSValue& Params, double WS);
    Q_INVOKABLE void shellw(const QJSValue& filename, const QJSValue& Params, double WS);
    Q_INVOKABLE QString shelld(const QJSValue& DosCmd);
    Q_INVOKABLE QString GetFilePath(const QJSValue& filename);
    Q_INVOKABLE QString GetFileName(const QJSValue& filename);
    Q_INVOKABLE int select(const QJSValue& prompt, const QJSValue& Selection);
    Q_INVOKABLE void addPlugin(const QJSValue& Author, const QJSValue& MnuCaption, const QJSValue& Command,
                               const QJSValue& Info = QJSValue(), double Category = 0);
    Q_INVOKABLE QString input(const QJSValue& Msg, const QJSValue& Options, const QJSValue& Values);
    Q_INVOKABLE void include(const QJSValue& filename);
    Q_INVOKABLE void addRomHandler(double EcuType, const QJSValue& Author, const QJSValue& Handler);
    Q_INVOKABLE void showBrowser(const QJSValue& URL, double Width = 400, double Height = 250, double Resizable = 0,
                                 double DoModal = 1);
    Q_INVOKABLE void reload();
    Q_INVOKABLE void addCustomTable(const QJSValue& Name, double Width, double Height, double Address,
                                    const QJSValue& OnLoad = QJSValue(), const QJSValue& OnGetValue = QJSValue(),
                                    const QJSValue& OnSetValue = QJSValue(), const QJSValue& OnUnload = QJSValue(),
                                    const QJSValue& Description = QJSValue());
    Q_INVOKABLE void addWidebandConversion(const QJSValue& Caption, const QJSValue& ExecFunction);
    Q_INVOKABLE void setRTPPort(double Hardware, double Port, double Baud, double DataBits, double Parity,
                                double StopBits, double Timeout = 250, double MaxTries = 3);
    Q_INVOKABLE void setDatalogPort(double Hardware, double Port, double Baud, double DataBits, double Parity,
                                    double StopBits, double Timeout = 250, double MaxTries = 3);

    // A new ROM object on every read (all act on the one open ROM); null
    // when the host has no document.
    [[nodiscard]] QObject* rom();
    // A new files object on every read.
    [[nodiscard]] QObject* files();
    [[nodiscard]] QObject* events();
    // A new custom table object on every read, acting on the current table.
    [[nodiscard]] QObject* customTable();
    [[nodiscard]] int showMph() const;
    [[nodiscard]] int showPsi() const;
    [[nodiscard]] int showFahrenheit() const;
    [[nodiscard]] int showAFR() const;

    // A variant as text: numbers as their decimal text, undefined and null as "".
    [[nodiscard]] static QString text(const QJSValue& v);
    // DecToHex: upper case, zero-padded to 2, 4, 6 or 8 digits.
    [[nodiscard]] static QString decToHex(quint32 value);

private:
    void launch(const QJSValue& filename, const QJSValue& params, double showMode, bool wait);
    void setPort(bool datalog, double hardware, double port, double baud, double dataBits, double parity,
                 double stopBits, double timeout, double maxTries, bool wideTimeout);

    TScriptForm& m_host;
};
