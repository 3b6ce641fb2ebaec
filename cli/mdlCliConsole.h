#pragma once

// The user-interaction services of vexor-cli: no one is there to answer.
// Alerts go to standard output, errors and notices to standard error, and
// every question or dialog takes its cancel answer and says so.

#include "cli/mdlCli.h"
#include "scripting/mdlScriptDialogs.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlMessages.h"

class TConsoleMessages : public IMessageService {
protected:
    int doShowMessage(const TMessage& m) override
    {
        if (m.title == QLatin1String("Alert")) {
            cliOut(m.text);
            return mrOk;
        }
        cliErr(m.text);
        if (m.buttons == TMsgButtons(TMsgButton::OK))
            return mrOk;
        const bool cancel = m.buttons.testFlag(TMsgButton::Cancel);
        cliErr(QStringLiteral("(\"%1\": no one to answer, taking %2)").arg(m.title, cancel ? "Cancel" : "No"));
        return cancel ? mrCancel : mrNo;
    }
    std::optional<QString> doInputQuery(const QString& caption, const QString& prompt, const QString&) override
    {
        cliErr(QStringLiteral("(input \"%1\" %2: no one to answer, taking Cancel)").arg(caption, prompt));
        return std::nullopt;
    }
};

class TConsoleFileDialogs : public IFileDialogService {
public:
    std::optional<QString> openFile(const TFileDialogRequest& r) override { return cancelled(r); }
    std::optional<QString> saveFile(const TFileDialogRequest& r) override { return cancelled(r); }

private:
    static std::optional<QString> cancelled(const TFileDialogRequest& r)
    {
        cliErr(QStringLiteral("(file dialog \"%1\": no one to answer, taking Cancel)").arg(r.title));
        return std::nullopt;
    }
};

class TConsoleScriptDialogs : public IScriptDialogs {
public:
    int select(const QString& prompt, const QStringList&) override
    {
        cliErr(QStringLiteral("(select \"%1\": no one to answer, taking Cancel)").arg(prompt));
        return -1;
    }
    std::optional<QStringList> values(const QString& message, const QStringList&, const QStringList&) override
    {
        cliErr(QStringLiteral("(input \"%1\": no one to answer, taking Cancel)").arg(message));
        return std::nullopt;
    }
    bool openUrl(const QString& url) override
    {
        cliErr(QStringLiteral("(not opened without a screen: %1)").arg(url));
        return true;
    }
};
