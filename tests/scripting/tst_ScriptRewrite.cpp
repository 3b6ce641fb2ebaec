#include "scripting/mdlScriptRewrite.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    const char* in;
    const char* out;
};

const Case cases[] = {
    {"plain", "rom.byteAt(i) = v;", "rom.set_byteAt(i, v);"},
    {"two arguments", "rom.tableValue(c, r) = x * 2;", "rom.set_tableValue(c, r, x * 2);"},
    {"no arguments", "o.p() = 1", "o.set_p(1)"},
    {"bare call", "tableValue(1,2)=3", "set_tableValue(1,2, 3)"},
    {"chained object", "window.rom.byteAt(0x10) = 5", "window.rom.set_byteAt(0x10, 5)"},
    {"indexed and called object", "a[k].b(1) = f(2).g(3)", "a[k].set_b(1, f(2).g(3))"},
    {"call result as object", "get(1).x(2) = 3", "get(1).set_x(2, 3)"},
    {"compound add", "rom.byteAt(i) += 2;", "rom.set_byteAt(i, rom.byteAt(i) + (2));"},
    {"compound precedence kept", "o.v(1) *= a + b", "o.set_v(1, o.v(1) * (a + b))"},
    {"unsigned shift", "o.v(1) >>>= 2", "o.set_v(1, o.v(1) >>> (2))"},
    {"compound without arguments", "o.v()|=1", "o.set_v(o.v() | (1))"},
    {"call in arguments", "a.x(b.y(1), [c(2)]) = 3", "a.set_x(b.y(1), [c(2)], 3)"},
    {"nested in value", "a.x(1) = function () { b.y(2) = 3; }", "a.set_x(1, function () { b.set_y(2, 3); })"},
    {"value ends at comma", "for (i = 0; i < 3; o.x(i) = 0, i++) {}", "for (i = 0; i < 3; o.set_x(i, 0), i++) {}"},
    {"value ends at closing bracket", "if (c) { o.x(1) = 2 }", "if (c) { o.set_x(1, 2) }"},
    {"ternary value", "o.x(1) = c ? 1 : 2;", "o.set_x(1, c ? 1 : 2);"},
    {"after an if", "if (a) o.x(1) = 2;", "if (a) o.set_x(1, 2);"},
    {"automatic semicolon", "o.x(1) = 2\nf()", "o.set_x(1, 2)\nf()"},
    {"value continues on the next line", "o.x(1) = 2\n  + 3\nf()", "o.set_x(1, 2\n  + 3)\nf()"},
    {"line breaks stay", "o.x(1,\n 2) =\n 3;\nbad(", "o.set_x(1,\n 2, \n 3);\nbad("},
    {"line break before the parenthesis", "o.x\n(1) += 2", "o.set_x\n(1, o.x (1) + (2))"},
    {"compound copy on one line", "o.x(1, // c\n 2) += 3", "o.set_x(1, // c\n 2, o.x(1, 2) + (3))"},
    // Untouched: comparisons, arrows, defaults, literals, comments.
    {"comparison", "if (o.x(1) == 2) a = b;", nullptr},
    {"arrow", "var f = (a) => a + 1;", nullptr},
    {"default argument", "function f(a = g(1)) { return a; }", nullptr},
    {"strings", "s = 'o.x(1) = 2' + \"o.x(1) += 2\";", nullptr},
    {"comments", "// o.x(1) = 2\n/* o.x(1) = 2 */ y = 1;", nullptr},
    {"template with substitution", "t = `a ${ {k: 1}.k } o.x(1) = 2 ${`in ${n}`}`;", nullptr},
    {"regular expression", "r = /o.x(1) = [/]2/g.test(s);", nullptr},
    {"division is not a regex", "q = a.b(1) / 2; o.c(1) /= 3", "q = a.b(1) / 2; o.set_c(1, o.c(1) / (3))"},
    {"keyword before parenthesis", "while (x) = 1;", nullptr},
    {"compound target holding a literal across lines", "d(\"\n)+=0", nullptr},
};

TEST(ScriptRewrite, Table)
{
    for (const Case& c : cases) {
        const QString in = QString::fromUtf8(c.in);
        const QString expected = c.out ? QString::fromUtf8(c.out) : in;
        const QString got = rewriteScriptSource(in);
        EXPECT_EQ(got.toStdString(), expected.toStdString()) << c.name;
        EXPECT_EQ(got.count(u'\n'), in.count(u'\n')) << c.name;
    }
}

} // namespace
