// What the browser window tests share: a private Xvfb display started once
// per test program (never the user's display), the QApplication on it with
// WebEngine set up to run as this container's user, and waiting while the
// event loop runs.
#pragma once

#include <QImage>
#include <functional>
#include <string>

class QWidget;

namespace wys::test {

// Starts Xvfb and the application on first use; later calls return at once.
// Fails the calling test (and returns false) when no display can be had.
bool EnsureGuiApplication();

// Runs the event loop until `done` holds or `timeoutMs` passes; whether it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the event loop for `ms`.
void Pump(int ms);

// Grabs `widget` as shown and saves it as <screenshot folder>/<name>.png,
// kept for review. Returns the image.
QImage SaveScreenshot(QWidget* widget, const std::string& name);

// The share of pixels (0..1) whose colour differs by more than `tolerance`
// in any channel; 1 when the sizes differ.
double DifferingShare(const QImage& a, const QImage& b, int tolerance = 24);

}  // namespace wys::test
