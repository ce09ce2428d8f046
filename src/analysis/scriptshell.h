#pragma once

#include <QByteArrayView>

// Whether a downloaded page is a script shell: a body with almost no text of its own and a
// script that builds it once a browser runs it (a single-page application's index page, a
// site builder's loader). Such a page holds none of its links or numbers until it is rendered.
//
// A page is a shell when all of these hold:
//   - its visible text (outside script, style, noscript, template, title and comments) has
//     fewer than MaxShellLetters letters and digits;
//   - it has a script of code: one with src, or inline code of at least MinInlineScript
//     bytes, or any inline code that writes the document (JSON data blocks and templates
//     are no code);
//   - and something says the script builds the page: an element that script frameworks
//     mount into (id "root", "app", "__next", "__nuxt", "___gatsby", "svelte", or an element
//     whose name has a hyphen, like <app-root>), a noscript text that asks for JavaScript, an
//     inline script that writes the document (document.write, innerHTML, appendChild,
//     createElement, insertAdjacentHTML, a framework's render or mount), or a body with no
//     markup beyond its scripts and empty div or span elements.
// Ordinary pages, however much script they carry, have text of their own and are no shell.
// Pure and cheap: one pass over the bytes.
namespace ScriptShell {

constexpr int MaxShellLetters = 200;
constexpr int MinInlineScript = 200;

bool isShell(QByteArrayView page);

} // namespace ScriptShell
