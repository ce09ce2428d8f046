#pragma once

// Prepares Qt WebEngine; call it before the QApplication is created. Shares OpenGL
// contexts as WebEngine needs, and switches Chromium's sandbox off when the program runs as
// root, where the sandbox cannot start (and only then). Pages in hidden views keep their
// timers' pace, so that the list builder reads a result page once its scripts have built it.
void prepareWebEngine();
