#pragma once

// Scripted answers for the script dialogs (selection, values, open URL): each
// request is recorded; answers come from queues, and a request with nothing
// queued fails the test.

#include "scripting/mdlScriptDialogs.h"

#include <gtest/gtest.h>

#include <QList>
#include <deque>

class TScriptedScriptDialogs : public IScriptDialogs {
public:
    struct Request {
        QString message;
        QStringList keys; // select: the items
        QStringList values;
    };

    void answerSelect(int index) { m_selects.push_back(index); }
    void answerValues(std::optional<QStringList> values) { m_values.push_back(std::move(values)); }

    [[nodiscard]] const QList<Request>& requests() const { return m_requests; }
    [[nodiscard]] const QStringList& openedUrls() const { return m_urls; }

    int select(const QString& prompt, const QStringList& items) override
    {
        m_requests << Request{prompt, items, {}};
        if (m_selects.empty()) {
            ADD_FAILURE() << "unexpected selection dialog: " << prompt.toStdString();
            return -1;
        }
        const int a = m_selects.front();
        m_selects.pop_front();
        return a;
    }

    std::optional<QStringList> values(const QString& message, const QStringList& keys,
                                      const QStringList& values) override
    {
        m_requests << Request{message, keys, values};
        if (m_values.empty()) {
            ADD_FAILURE() << "unexpected values dialog: " << message.toStdString();
            return std::nullopt;
        }
        auto a = m_values.front();
        m_values.pop_front();
        return a;
    }

    bool openUrl(const QString& url) override
    {
        m_urls << url;
        return true;
    }

private:
    QList<Request> m_requests;
    QStringList m_urls;
    std::deque<int> m_selects;
    std::deque<std::optional<QStringList>> m_values;
};
