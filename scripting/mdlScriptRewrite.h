#pragma once

// Scripts written for the dispatch interfaces assign parameterised properties,
// `rom.byteAt(i) = v`, which standard JavaScript refuses at compile time. The
// rewriter turns every such assignment into a call of the object's setter
// (see scriptSetterName in mdlScriptHost.h):
//
//   rom.byteAt(i) = v        ->  rom.set_byteAt(i, v)
//   rom.byteAt(i) += 2       ->  rom.set_byteAt(i, rom.byteAt(i) + (2))
//
// It reads the source with a real tokenizer (strings, template literals with
// nested `${}`, regular expressions told apart from division, comments), so
// text inside literals and comments is never touched. Only call expressions
// used as an assignment target are rewritten; every other byte is copied
// unchanged, and every line break stays on its line, so the line numbers of
// error messages still point into the user's own file.

#include <QString>

[[nodiscard]] QString rewriteScriptSource(const QString& source);
