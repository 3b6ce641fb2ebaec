#pragma once

// The pages of the settings window. Each page fills its controls from a
// TSettings, applies them back into one, and resets its own controls to the
// page defaults; the window (frmSettings.h) composes them.

#include "settings/mdlSettings.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableWidget;
class TPortGroup;
class TPortList;
class TWidebandDefinitions;

// A field whose text OK cannot take: what to tell the user, and how to put
// the focus on it.
struct TFieldRefusal {
    QString message;
    std::function<void()> focus;
};

class TSettingsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void fill(const TSettings& s) = 0;
    virtual void apply(TSettings& s) const = 0;
    // Resets the page's controls to its defaults; nothing is applied.
    virtual void defaults() = 0;
    [[nodiscard]] virtual bool hasDefaults() const { return true; }
    // The first enabled numeric field whose text is not a number inside the
    // range of its settings key; OK refuses to close while there is one.
    [[nodiscard]] virtual std::optional<TFieldRefusal> refusedField() const;

protected:
    // Puts a numeric field under that check; `caption` names it to the user.
    void checkField(QLineEdit* edit, const QString& section, const QString& key, const QString& caption);
    // The baud rate, poll interval and tries of a port group.
    void checkPortFields(const TPortGroup& port, const QString& com, const QString& connection);

private:
    struct TCheckedField {
        QLineEdit* edit;
        QString section;
        QString key;
        QString caption;
    };
    std::vector<TCheckedField> m_checked;
};

// Why `text` cannot be the value of a key with `range` ("" when it can).
[[nodiscard]] QString refusalOf(const QString& caption, const QString& text, const TSettingRange& range);

// Field helpers: a typed value into a text field and back. A field whose text
// does not parse gives `fallback` (the value it showed before).
QLineEdit* newIntField(QWidget* parent, const char* name, bool isSigned);
QLineEdit* newRealField(QWidget* parent, const char* name, bool isSigned);
void showInt(QLineEdit* field, int value);
void showReal(QLineEdit* field, double value);
[[nodiscard]] int intFrom(const QLineEdit* field, int fallback);
[[nodiscard]] double realFrom(const QLineEdit* field, double fallback);

class TGeneralPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TGeneralPage(QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;

private:
    QLineEdit* txtIgnitionAdjustment;
    QLineEdit* txtFuelAdjustment1;
    QLineEdit* txtFuelAdjustment2;
    QLineEdit* txtLambdaAdjustment;
    QSlider* trkMapSmoothing;
    QLineEdit* txtAtmospheric;
    QLineEdit* txtStoichValue;
    QCheckBox* chkShowFahrenheit;
    QCheckBox* chkShowMph;
    QCheckBox* chkShowPsi;
    QCheckBox* chkShowAFR;
};

class TOptionDeltasPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TOptionDeltasPage(QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;

private:
    QLineEdit* txtRevDelta;
    QLineEdit* txtLaunchDelta;
    QLineEdit* txtShiftDelta;
    QLineEdit* txtVTECDelta;
    QLineEdit* txtIABDelta;
};

// Port name, baud, data bits, parity and stop bits, poll interval and tries:
// the part the emulator and datalog pages share.
class TPortGroup : public QWidget {
    Q_OBJECT
public:
    TPortGroup(const QString& prefix, TPortList& ports, QWidget* parent = nullptr);
    void fill(const TComSettings& com, const TConnectionSettings& conn);
    void apply(TComSettings& com, TConnectionSettings& conn) const;
    void defaults();
    void selectBaudEntry(int index);
    // The line settings (baud, data bits, parity, stop bits) alone.
    void setLineSettingsEnabled(bool on);
    void setSerialGroupEnabled(bool on);
    [[nodiscard]] QLineEdit* baudField() const;
    [[nodiscard]] QLineEdit* timeoutField() const { return txtTimeout; }
    [[nodiscard]] QLineEdit* triesField() const { return txtMaxTries; }

private:
    TPortList& m_ports;
    QGroupBox* m_serial;
    QComboBox* cbxPort;
    QComboBox* cbxBaud;
    QComboBox* cbxDataBits;
    QComboBox* cbxParity;
    QComboBox* cbxStopBits;
    QLineEdit* txtTimeout;
    QLineEdit* txtMaxTries;
};

class TEmulatorPage : public TSettingsPage {
    Q_OBJECT
public:
    TEmulatorPage(TPortList& ports, QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;
    // Only the port choice (hardware, port, line settings, interval, tries).
    void applyPort(TSettings& s) const;
    void fillPort(const TSettings& s);
    [[nodiscard]] QPushButton* testButton() const { return btnTestConnection; }

private:
    void hardwareChanged(int index, bool byUser);

    TPortGroup* m_port;
    QComboBox* cbxHardware;
    QCheckBox* chk512K;
    QCheckBox* chkAutoUpdate;
    QCheckBox* chkAutoConnect;
    QPushButton* btnTestConnection;
};

class TDatalogPage : public TSettingsPage {
    Q_OBJECT
public:
    TDatalogPage(TPortList& ports, QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;
    void applyPort(TSettings& s) const;
    void fillPort(const TSettings& s);
    [[nodiscard]] QPushButton* testButton() const { return btnTestConnection; }

private:
    void protocolChanged(int index);

    TPortGroup* m_port;
    QComboBox* cbxProtocol;
    QPushButton* btnTestConnection;
};

class TTuningPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TTuningPage(QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;

private:
    struct IntField {
        QLineEdit* edit;
        int TTuningConditions::*member;
    };
    struct RealField {
        QLineEdit* edit;
        double TTuningConditions::*member;
    };
    struct BoolField {
        QCheckBox* box;
        bool TTuningConditions::*member;
    };
    void show(const TTuningConditions& t);
    std::vector<IntField> m_ints;
    std::vector<RealField> m_reals;
    std::vector<BoolField> m_bools;
    QLineEdit* txtGearSet;
};

// The wideband conversion: the list (wideband.ini sections, then script
// conversions) and the 16-point grid of a table conversion.
class TWidebandPage : public TSettingsPage {
    Q_OBJECT
public:
    TWidebandPage(const TWidebandDefinitions& widebands, QWidget* parent = nullptr);
    void setScriptConversions(std::function<QStringList()> captions) { m_scriptCaptions = std::move(captions); }
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override {}
    [[nodiscard]] bool hasDefaults() const override { return false; }
    [[nodiscard]] std::optional<TFieldRefusal> refusedField() const override;

private:
    void sensorChanged(int index);
    void showPoints(const TLambdaPoints& points);

    const TWidebandDefinitions& m_widebands;
    std::function<QStringList()> m_scriptCaptions;
    QComboBox* cbxSensor;
    QTableWidget* dgConversion;
    // The exact points behind the grid and how they are shown, so unchanged
    // cells keep their exact values instead of the two-decimal text.
    TLambdaPoints m_shown{};
    bool m_showsAFR = false;
    double m_stoich = 14.7;
    int m_tableCount = 0;
};

class TDynoPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TDynoPage(QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;

private:
    QLineEdit* txtDynoMinThrottle;
    QComboBox* cbxGear;
    QLineEdit* txtVehicleWeight;
};

class TDataGraphsPage : public TSettingsPage {
    Q_OBJECT
public:
    explicit TDataGraphsPage(QWidget* parent = nullptr);
    void fill(const TSettings& s) override;
    void apply(TSettings& s) const override;
    void defaults() override;

private:
    QCheckBox* m_boxes[2][dgChannelCount];
};
