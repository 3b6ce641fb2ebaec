#include "scripting/mdlScriptRewrite.h"

#include "scripting/mdlScriptHost.h"

#include <QVector>
#include <array>

namespace {

enum class TokKind { Ident, Number, String, Template, Regex, Punct };

struct Tok {
    int begin = 0;
    int end = 0;
    TokKind kind = TokKind::Punct;
    bool nlBefore = false; // a line break (in blanks or comments) precedes it
};

bool isIdentStart(QChar c) { return c.isLetter() || c == u'_' || c == u'$' || c.unicode() > 0x7F; }
bool isIdentPart(QChar c) { return isIdentStart(c) || c.isDigit(); }
bool isLineBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029); }

bool isKeyword(QStringView w)
{
    static const std::array<const char16_t*, 36> words = {
        u"break",  u"case", u"catch",      u"class",   u"const", u"continue", u"debugger", u"default",  u"delete",
        u"do",     u"else", u"export",     u"extends", u"false", u"finally",  u"for",      u"function", u"if",
        u"import", u"in",   u"instanceof", u"new",     u"null",  u"return",   u"super",    u"switch",   u"this",
        u"throw",  u"true", u"try",        u"typeof",  u"var",   u"void",     u"while",    u"with",     u"yield"};
    for (const char16_t* k : words)
        if (w == QStringView(k))
            return true;
    return false;
}

// After these words an expression starts, so a '/' opens a regular expression.
bool wordPrecedesExpression(QStringView w)
{
    static const std::array<const char16_t*, 14> words = {u"return", u"typeof", u"instanceof", u"in",    u"of",
                                                          u"new",    u"delete", u"void",       u"throw", u"case",
                                                          u"do",     u"else",   u"yield",      u"await"};
    for (const char16_t* k : words)
        if (w == QStringView(k))
            return true;
    return false;
}

class TTokenizer {
public:
    explicit TTokenizer(const QString& s) : m_s(s), m_n(int(s.size())) {}

    QVector<Tok> run()
    {
        QVector<Tok> out;
        int pos = 0;
        scan(pos, false, &out);
        return out;
    }

private:
    QChar at(int i) const { return i < m_n ? m_s.at(i) : QChar(); }

    // Skips blanks and comments; true when a line break was among them.
    bool skipBlanks(int& pos) const
    {
        bool nl = false;
        while (pos < m_n) {
            const QChar c = m_s.at(pos);
            if (isLineBreak(c)) {
                nl = true;
                ++pos;
            } else if (c.isSpace()) {
                ++pos;
            } else if (c == u'/' && at(pos + 1) == u'/') {
                while (pos < m_n && !isLineBreak(m_s.at(pos)))
                    ++pos;
            } else if (c == u'/' && at(pos + 1) == u'*') {
                const int close = int(m_s.indexOf(QLatin1String("*/"), pos + 2));
                const int stop = close < 0 ? m_n : close + 2;
                for (int i = pos; i < stop; ++i)
                    nl = nl || isLineBreak(m_s.at(i));
                pos = stop;
            } else {
                break;
            }
        }
        return nl;
    }

    // Tokens from pos; inside a template substitution (`nested`) it stops after
    // the '}' that closes it. Tokens are recorded only when `out` is given.
    void scan(int& pos, bool nested, QVector<Tok>* out) const
    {
        int depth = 0;
        TokKind prevKind = TokKind::Punct;
        QStringView prevText; // empty: start of input
        while (true) {
            const bool nl = skipBlanks(pos);
            if (pos >= m_n)
                return;
            Tok t;
            t.begin = pos;
            t.nlBefore = nl;
            const QChar c = m_s.at(pos);
            if (isIdentStart(c)) {
                while (pos < m_n && isIdentPart(m_s.at(pos)))
                    ++pos;
                t.kind = TokKind::Ident;
            } else if (c.isDigit() || (c == u'.' && at(pos + 1).isDigit())) {
                ++pos;
                while (pos < m_n) {
                    const QChar d = m_s.at(pos);
                    const QChar p = m_s.at(pos - 1);
                    if (d.isLetterOrNumber() || d == u'.' || d == u'_' ||
                        ((d == u'+' || d == u'-') && (p == u'e' || p == u'E') &&
                         !m_s.mid(t.begin, 2).startsWith(u"0x", Qt::CaseInsensitive)))
                        ++pos;
                    else
                        break;
                }
                t.kind = TokKind::Number;
            } else if (c == u'"' || c == u'\'') {
                ++pos;
                while (pos < m_n && m_s.at(pos) != c && !isLineBreak(m_s.at(pos)))
                    pos += m_s.at(pos) == u'\\' ? 2 : 1;
                pos = qMin(pos + 1, m_n);
                t.kind = TokKind::String;
            } else if (c == u'`') {
                ++pos;
                while (pos < m_n && m_s.at(pos) != u'`') {
                    if (m_s.at(pos) == u'\\') {
                        pos += 2;
                    } else if (m_s.at(pos) == u'$' && at(pos + 1) == u'{') {
                        pos += 2;
                        scan(pos, true, nullptr);
                    } else {
                        ++pos;
                    }
                }
                pos = qMin(pos + 1, m_n);
                t.kind = TokKind::Template;
            } else if (c == u'/' && regexAllowed(prevKind, prevText) && scanRegex(pos)) {
                t.kind = TokKind::Regex;
            } else {
                pos += punctLength(pos);
                t.kind = TokKind::Punct;
                if (nested) {
                    if (c == u'{')
                        ++depth;
                    else if (c == u'}' && depth-- == 0)
                        return;
                }
            }
            t.end = qMin(pos, m_n);
            prevKind = t.kind;
            prevText = QStringView(m_s).mid(t.begin, t.end - t.begin);
            if (out)
                out->append(t);
        }
    }

    static bool regexAllowed(TokKind prevKind, QStringView prev)
    {
        if (prev.isEmpty())
            return true;
        switch (prevKind) {
        case TokKind::Ident: return wordPrecedesExpression(prev);
        case TokKind::Punct: return prev != u")" && prev != u"]" && prev != u"++" && prev != u"--";
        default: return false;
        }
    }

    // A regular expression literal from the '/' at pos; false (pos unchanged)
    // when the line ends before its closing '/'.
    bool scanRegex(int& pos) const
    {
        int i = pos + 1;
        bool inClass = false;
        while (i < m_n && !isLineBreak(m_s.at(i))) {
            const QChar c = m_s.at(i);
            if (c == u'\\') {
                i += 2;
                continue;
            }
            if (c == u'[')
                inClass = true;
            else if (c == u']')
                inClass = false;
            else if (c == u'/' && !inClass) {
                ++i;
                while (i < m_n && isIdentPart(m_s.at(i)))
                    ++i;
                pos = i;
                return true;
            }
            ++i;
        }
        return false;
    }

    int punctLength(int pos) const
    {
        static const std::array<const char16_t*, 36> ops = {
            u">>>=", u"...", u"===", u"!==", u"**=", u"<<=", u">>=", u">>>", u"&&=", u"||=", u"?\?=", u"=>",
            u"==",   u"!=",  u"<=",  u">=",  u"&&",  u"||",  u"?\?", u"?.",  u"++",  u"--",  u"+=",   u"-=",
            u"*=",   u"/=",  u"%=",  u"&=",  u"|=",  u"^=",  u"<<",  u">>",  u"**",  u"=",   u"!",    u"~"};
        const QStringView rest = QStringView(m_s).mid(pos);
        for (const char16_t* op : ops) {
            const QStringView o(op);
            if (rest.startsWith(o)) {
                // "?." before a digit is a conditional followed by a number.
                if (o == u"?." && at(pos + 2).isDigit())
                    return 1;
                return int(o.size());
            }
        }
        return 1;
    }

    const QString& m_s;
    const int m_n;
};

class TRewriter {
public:
    explicit TRewriter(const QString& s) : m_s(s), m_t(TTokenizer(s).run()), m_match(m_t.size(), -1)
    {
        QVector<int> stack;
        for (int i = 0; i < m_t.size(); ++i) {
            const QStringView x = text(i);
            if (m_t[i].kind != TokKind::Punct)
                continue;
            if (x == u"(" || x == u"[" || x == u"{") {
                stack.append(i);
            } else if (x == u")" || x == u"]" || x == u"}") {
                if (!stack.isEmpty() && closes(text(stack.last()), x)) {
                    m_match[i] = stack.last();
                    m_match[stack.last()] = i;
                    stack.removeLast();
                }
            }
        }
    }

    QString run() { return emit(0, int(m_s.size()), 0, int(m_t.size())); }

private:
    static bool closes(QStringView open, QStringView close)
    {
        return (open == u"(" && close == u")") || (open == u"[" && close == u"]") || (open == u"{" && close == u"}");
    }
    QStringView text(int i) const { return QStringView(m_s).mid(m_t[i].begin, m_t[i].end - m_t[i].begin); }
    bool punct(int i, QStringView p) const { return m_t[i].kind == TokKind::Punct && text(i) == p; }
    bool name(int i) const { return m_t[i].kind == TokKind::Ident && !isKeyword(text(i)); }
    bool nameOrThis(int i) const
    {
        return m_t[i].kind == TokKind::Ident && (!isKeyword(text(i)) || text(i) == u"this");
    }

    bool assignOp(int i) const
    {
        if (m_t[i].kind != TokKind::Punct)
            return false;
        static const std::array<const char16_t*, 13> ops = {u"=",   u"+=",  u"-=",   u"*=", u"/=", u"%=", u"**=",
                                                            u"<<=", u">>=", u">>>=", u"&=", u"|=", u"^="};
        const QStringView x = text(i);
        for (const char16_t* op : ops)
            if (x == QStringView(op))
                return true;
        return false;
    }

    // The first token of the object expression in front of `.name`: a chain
    // of names, calls and indexes (`window.rom`, `a[i].b`, `f(x).g`), or the
    // name itself for a bare call. -1 when the brackets do not match.
    int objectStart(int nameIdx, int lo) const
    {
        int start = nameIdx;
        int t = nameIdx;
        while (t - 1 >= lo && punct(t - 1, u".")) {
            int p = t - 2;
            if (p < lo)
                return -1;
            while (true) {
                if (punct(p, u")") || punct(p, u"]")) {
                    const int m = m_match[p];
                    if (m < lo)
                        return -1;
                    start = m;
                    t = m;
                    p = m - 1;
                    if (p >= lo && (name(p) || punct(p, u")") || punct(p, u"]")))
                        continue; // a call or index on what comes before
                    break;
                }
                if (nameOrThis(p)) {
                    start = p;
                    t = p;
                    break;
                }
                return -1;
            }
        }
        return start;
    }

    bool endsExpression(int i) const
    {
        switch (m_t[i].kind) {
        case TokKind::Ident:
            return !isKeyword(text(i)) || text(i) == u"this" || text(i) == u"true" || text(i) == u"false" ||
                   text(i) == u"null";
        case TokKind::Punct:
            return punct(i, u")") || punct(i, u"]") || punct(i, u"}") || punct(i, u"++") || punct(i, u"--");
        default: return true;
        }
    }

    // Whether a token at the start of a line carries on the expression of the
    // line before (no automatic semicolon in between).
    bool continuesExpression(int i) const
    {
        if (m_t[i].kind == TokKind::Ident)
            return text(i) == u"in" || text(i) == u"instanceof";
        if (m_t[i].kind != TokKind::Punct)
            return false;
        const QStringView x = text(i);
        return !(x == u"++" || x == u"--" || x == u"{" || x == u"}" || x == u")" || x == u"]" || x == u";" ||
                 x == u"!" || x == u"~");
    }

    // One past the last token of the assigned value that starts at `from`.
    int valueEnd(int from, int hi) const
    {
        int depth = 0;
        int ternary = 0;
        for (int j = from; j < hi; ++j) {
            if (j > from && depth == 0 && m_t[j].nlBefore && endsExpression(j - 1) && !continuesExpression(j))
                return j;
            if (punct(j, u"(") || punct(j, u"[") || punct(j, u"{")) {
                ++depth;
            } else if (punct(j, u")") || punct(j, u"]") || punct(j, u"}")) {
                if (depth == 0)
                    return j;
                --depth;
            } else if (depth == 0) {
                if (punct(j, u";") || punct(j, u","))
                    return j;
                if (punct(j, u"?")) {
                    ++ternary;
                } else if (punct(j, u":")) {
                    if (ternary == 0)
                        return j;
                    --ternary;
                }
            }
        }
        return hi;
    }

    // The tokens [lo, hi) on one line, comments dropped: the read of a compound
    // assignment is a copy, and a copy must not add lines.
    QString compact(int lo, int hi) const
    {
        QString out;
        for (int i = lo; i < hi; ++i) {
            if (i > lo && m_t[i].begin > m_t[i - 1].end)
                out += u' ';
            out += text(i);
        }
        return out;
    }

    // The text [cb, ce) holding the tokens [lo, hi), with its assignments to
    // parameterised properties rewritten.
    QString emit(int cb, int ce, int lo, int hi) const
    {
        QString out;
        int copied = cb;
        int i = lo;
        while (i < hi) {
            if (!(assignOp(i) && i - 1 >= lo && punct(i - 1, u")"))) {
                ++i;
                continue;
            }
            const int close = i - 1;
            const int open = m_match[close];
            if (open - 1 < lo || !name(open - 1)) {
                ++i;
                continue;
            }
            const int nameIdx = open - 1;
            const int start = objectStart(nameIdx, lo);
            const int end = valueEnd(i + 1, hi);
            if (start < 0 || m_t[start].begin < copied || end <= i + 1) {
                ++i;
                continue;
            }
            const bool plain = text(i) == u"=";
            // A compound assignment reads its target again; a target holding a
            // literal that spans lines cannot be copied without adding lines, so
            // it stays as written and the engine reports it on its own line.
            const QString read = plain ? QString() : compact(start, close + 1);
            if (read.contains(u'\n') || read.contains(u'\r')) {
                ++i;
                continue;
            }
            out += QStringView(m_s).mid(copied, m_t[start].begin - copied);
            out += QStringView(m_s).mid(m_t[start].begin, m_t[nameIdx].begin - m_t[start].begin);
            out += scriptSetterName(text(nameIdx).toString());
            // What stands between the name and its parenthesis (a line break,
            // a comment) stays, so the lines after it keep their numbers.
            out += QStringView(m_s).mid(m_t[nameIdx].end, m_t[open].begin - m_t[nameIdx].end);
            out += u'(';
            const QString args = emit(m_t[open].end, m_t[close].begin, open + 1, close);
            out += args;
            if (open + 1 < close)
                out += u',';
            QString gap = m_s.mid(m_t[close].end, m_t[i].begin - m_t[close].end) +
                          m_s.mid(m_t[i].end, m_t[i + 1].begin - m_t[i].end);
            const QStringView op = text(i);
            // Blanks around the operator shrink to one space; anything holding
            // a line break or a comment stays as written.
            if (gap.trimmed().isEmpty() && !gap.contains(u'\n') && !gap.contains(u'\r'))
                gap = (plain && open + 1 == close) ? QString() : QStringLiteral(" ");
            const QString value = emit(m_t[i + 1].begin, m_t[end - 1].end, i + 1, end);
            if (plain)
                out += gap + value;
            else
                out += (open + 1 < close ? QStringLiteral(" ") : QString()) + read + u' ' + op.chopped(1).toString() +
                       gap + u'(' + value + u')';
            out += u')';
            copied = m_t[end - 1].end;
            i = end;
        }
        out += QStringView(m_s).mid(copied, ce - copied);
        return out;
    }

    const QString& m_s;
    QVector<Tok> m_t;
    QVector<int> m_match;
};

} // namespace

QString rewriteScriptSource(const QString& source)
{
    // Nothing to rewrite without an assignment after a closing parenthesis;
    // call texts evaluated by the hooks take this path.
    if (!source.contains(u'='))
        return source;
    return TRewriter(source).run();
}
