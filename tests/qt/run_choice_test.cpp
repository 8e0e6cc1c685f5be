// Which runs show the window: console run styles never, others when a display is there.
#include <gtest/gtest.h>

#include "script/app_context.h"
#include "tests/scoped_environment.h"
#include "ui/qt/run_choice.h"

namespace tb::qtui {
namespace {

using tb::test::ScopedVariable;

TEST(WindowRunChoice, ConsoleRunStylesStayOnTheConsole) {
    EXPECT_FALSE(window_run_wanted(kStyleConsole, true));
    EXPECT_FALSE(window_run_wanted(kStyleRemoteConsole, true));
    // Every other style, the compact layouts included, shows the window.
    for (int style : {0, 1, 10, 20, 29, 32}) {
        EXPECT_TRUE(window_run_wanted(style, true)) << style;
        EXPECT_FALSE(window_run_wanted(style, false)) << style;
    }
}

TEST(WindowRunChoice, ADisplayIsAnyOfTheDisplayVariablesSetAndNotEmpty) {
    ScopedVariable display("DISPLAY", std::nullopt);
    ScopedVariable wayland("WAYLAND_DISPLAY", std::nullopt);
    ScopedVariable platform("QT_QPA_PLATFORM", std::nullopt);
    EXPECT_FALSE(display_available());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        {
            ScopedVariable empty(name, std::string());
            EXPECT_FALSE(display_available()) << name << " empty";
        }
        ScopedVariable set(name, std::string(":1"));
        EXPECT_TRUE(display_available()) << name;
    }
}

}  // namespace
}  // namespace tb::qtui
