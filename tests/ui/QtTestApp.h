#pragma once
// The one QApplication of the UI test program, on the offscreen platform.
// It is created on first use and deliberately never destroyed: a static
// QApplication would be torn down at exit after Qt's own globals and crash.
#include <QApplication>

namespace tarnix::test {

inline QApplication& QtTestApp() {
  static int argc = 1;
  static char name[] = "tests_ui";
  static char* argv[] = {name, nullptr};
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return *new QApplication(argc, argv);
}

}  // namespace tarnix::test
