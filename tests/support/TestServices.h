#pragma once

// Test doubles of the user-interaction services: a scripted message responder
// that records every question and answers from a queue, scripted file dialogs,
// an in-memory clipboard and a clock the test advances by hand. Any test may
// use them; TTestServices bundles one of each.

#include "settings/mdlClipboard.h"
#include "settings/mdlClock.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"

#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <deque>
#include <optional>

// Records each message (title already resolved) and answers with the queued
// modal results in order. A question with nothing queued fails the test unless
// a default answer was set.
class TScriptedMessages : public IMessageService {
public:
    struct Input {
        QString caption;
        QString prompt;
        QString value;
    };

    void answer(int modalResult) { m_answers.push_back(modalResult); }
    void answerInput(std::optional<QString> text) { m_inputs.push_back(std::move(text)); }
    // Answer for questions beyond the queue; without it they fail the test.
    void setDefaultAnswer(int modalResult) { m_default = modalResult; }

    [[nodiscard]] const QList<TMessage>& messages() const { return m_messages; }
    [[nodiscard]] const QList<Input>& inputs() const { return m_inputRequests; }
    [[nodiscard]] int count() const { return static_cast<int>(m_messages.size()); }
    [[nodiscard]] const TMessage& last() const { return m_messages.constLast(); }
    [[nodiscard]] bool pending() const { return !m_answers.empty() || !m_inputs.empty(); }
    void clear()
    {
        m_messages.clear();
        m_inputRequests.clear();
    }

protected:
    int doShowMessage(const TMessage& message) override
    {
        m_messages << message;
        if (!m_answers.empty()) {
            const int a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        if (m_default)
            return *m_default;
        ADD_FAILURE() << "unexpected message \"" << message.title.toStdString() << "\": " << message.text.toStdString();
        return mrCancel;
    }

    std::optional<QString> doInputQuery(const QString& caption, const QString& prompt, const QString& value) override
    {
        m_inputRequests << Input{caption, prompt, value};
        if (!m_inputs.empty()) {
            auto a = m_inputs.front();
            m_inputs.pop_front();
            return a;
        }
        ADD_FAILURE() << "unexpected input box \"" << caption.toStdString() << "\"";
        return std::nullopt;
    }

private:
    QList<TMessage> m_messages;
    QList<Input> m_inputRequests;
    std::deque<int> m_answers;
    std::deque<std::optional<QString>> m_inputs;
    std::optional<int> m_default;
};

// Records each request and answers with the queued paths (nothing = cancel).
class TScriptedFileDialogs : public IFileDialogService {
public:
    struct Request {
        bool save;
        TFileDialogRequest request;
    };

    void answer(std::optional<QString> path) { m_answers.push_back(std::move(path)); }
    [[nodiscard]] const QList<Request>& requests() const { return m_requests; }

    std::optional<QString> openFile(const TFileDialogRequest& request) override { return next(false, request); }
    std::optional<QString> saveFile(const TFileDialogRequest& request) override { return next(true, request); }

private:
    std::optional<QString> next(bool save, const TFileDialogRequest& request)
    {
        m_requests << Request{save, request};
        if (m_answers.empty()) {
            ADD_FAILURE() << "unexpected file dialog \"" << request.title.toStdString() << "\"";
            return std::nullopt;
        }
        auto a = m_answers.front();
        m_answers.pop_front();
        return a;
    }

    QList<Request> m_requests;
    std::deque<std::optional<QString>> m_answers;
};

class TMemoryClipboard : public IClipboardService {
public:
    [[nodiscard]] QString text() const override { return m_text; }
    void setText(const QString& text) override { m_text = text; }

private:
    QString m_text;
};

// A tick counter that moves only when told; starts at 1000 so that "0" is
// never mistaken for "not set".
class TTestClock : public IClock {
public:
    explicit TTestClock(quint32 start = 1000) : m_now(start) {}
    [[nodiscard]] quint32 tickCount() const override { return m_now; }
    void advance(quint32 ms) { m_now += ms; } // wraps like the real counter
    void set(quint32 now) { m_now = now; }

private:
    quint32 m_now;
};

struct TTestServices {
    TScriptedMessages messages;
    TScriptedFileDialogs fileDialogs;
    TMemoryClipboard clipboard;
    TTestClock clock;

    [[nodiscard]] TServices services() { return TServices{&messages, &fileDialogs, &clipboard, &clock}; }
};
