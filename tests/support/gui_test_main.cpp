// Test entry point for widget tests: a QApplication on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>

#if defined(__SANITIZE_THREAD__)
// Qt is not built for ThreadSanitizer, so its own accesses are left out; our code hands work
// between threads through locks of its own (PostedCalls), never through Qt's event queue.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
