// The boxes in the window: asked from a job's thread, shown on the window's
// thread centred on the owner with the owner disabled; each answers by a
// simulated click or key, answers itself when its count-down runs out,
// closes as Escape (stopping the job), and only one is open at a time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "script/app_context.h"
#include "script/operator_dialogs.h"
#include "tests/qt/window_test_support.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/box_countdown.h"
#include "ui/qt/qt_dialogs.h"

namespace tb::qtui {
namespace {

using namespace std::chrono_literals;
using test::wait_until;

class BoxWindows : public ::testing::Test {
protected:
    void SetUp() override {
        tb::test::fresh_slot();
        app().caption = "Box Test";
        app().run_style = kStyleWindow;
        owner_ = std::make_unique<QWidget>();
        owner_->resize(800, 600);
        owner_->move(100, 100);
        owner_->show();
        installed_ = std::make_unique<InstalledQtDialogs>(owner_.get());
    }
    void TearDown() override {
        app().jobs[0].cancel = true;  // any box still asked goes
        wait_until([] { return visible_box() == nullptr; }, 2000);
        installed_.reset();
        owner_.reset();
        app().jobs[0].running = false;
        app().jobs[0].cancel = false;
        set_box_second_length(1000ms);
    }

    // The visible top-level box, or nullptr.
    static QWidget* visible_box() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->objectName().isEmpty() && w->objectName() != "owner" &&
                (w->objectName().startsWith("my") || w->objectName() == "InputBox"))
                return w;
        return nullptr;
    }
    static int visible_boxes() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && (w->objectName().startsWith("my") || w->objectName() == "InputBox")) ++n;
        return n;
    }

    // Asks on a thread of its own, as a job does; the window's loop runs meanwhile.
    template <class F>
    auto ask(F f) {
        return std::async(std::launch::async, f);
    }
    template <class T>
    static bool ready(std::future<T>& f) {
        return f.wait_for(0ms) == std::future_status::ready;
    }
    // The box of `name` once it is shown.
    QWidget* box_named(const char* name) {
        QWidget* found = nullptr;
        wait_until([&] {
            found = visible_box();
            return found && found->objectName() == name;
        }, 5000);
        return found && found->objectName() == name ? found : nullptr;
    }
    // The asker's answer; an asker still waiting after 5 s is released by a stop (and the test fails).
    template <class T>
    T answer_of(std::future<T>& f) {
        if (!wait_until([&] { return ready(f); }, 5000)) {
            ADD_FAILURE() << "no answer";
            app().jobs[0].cancel = true;
            wait_until([&] { return ready(f); }, 5000);
        }
        return f.get();
    }

    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<InstalledQtDialogs> installed_;
};

QPushButton* button_with(QWidget* box, const QString& text) {
    for (QPushButton* b : box->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

TEST_F(BoxWindows, MessageBoxIsCentredOnItsDisabledOwnerAndAnswersByClickOrEnter) {
    auto f = ask([] {
        return operator_dialogs()->message(0, MessageRequest{"Replug the disk", MessageButtons::YesNo,
                                                             MessageIcon::Warning, false});
    });
    QWidget* box = box_named("myBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->size(), QSize(400, 180));
    EXPECT_EQ(box->windowTitle().toStdString(), "Box Test");
    EXPECT_LE((box->geometry().center() - owner_->frameGeometry().center()).manhattanLength(), 4);
    EXPECT_FALSE(owner_->isEnabled());
    QPushButton* yes = button_with(box, "Yes");
    QPushButton* no = button_with(box, "No");
    ASSERT_NE(yes, nullptr);
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(yes->geometry(), QRect(192, 98, 85, 26));
    EXPECT_EQ(no->geometry(), QRect(280, 98, 85, 26));
    QTest::mouseClick(no, Qt::LeftButton);
    EXPECT_EQ(answer_of(f), kAnswerCancel);
    EXPECT_TRUE(wait_until([&] { return owner_->isEnabled(); }, 2000)) << "the owner is enabled again";

    // Enter presses the focused first button.
    auto g = ask([] { return operator_dialogs()->message(0, MessageRequest{"OK?", MessageButtons::Ok}); });
    box = box_named("myBox");
    ASSERT_NE(box, nullptr);
    QPushButton* ok = button_with(box, "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry(), QRect(158, 98, 85, 26));
    ASSERT_TRUE(wait_until([&] { return QApplication::focusWidget() == ok; }, 2000));
    QTest::keyClick(ok, Qt::Key_Return);
    EXPECT_EQ(answer_of(g), kAnswerYes);
}

TEST_F(BoxWindows, ComboBoxAnswersTheItemChosenByKeyAndOk) {
    auto f = ask([] { return operator_dialogs()->choose(0, ChoiceRequest{"Pick", {"A", "B", "C"}, 1, false}); });
    QWidget* box = box_named("myCombo");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->size(), QSize(350, 180));
    auto* list = box->findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentIndex(), 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentText(), "C");
    QTest::mouseClick(button_with(box, "OK"), Qt::LeftButton);
    EXPECT_EQ(answer_of(f), 2);
}

TEST_F(BoxWindows, NumberBoxTakesDigitsOnly) {
    auto f = ask([] { return operator_dialogs()->number(0, NumberRequest{"Loops:", 10, false}); });
    QWidget* box = box_named("myNumber");
    ASSERT_NE(box, nullptr);
    auto* edit = box->findChild<QLineEdit*>("5001");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "10");
    edit->clear();
    QTest::keyClicks(edit, "12a3456789");  // the letter is refused, the ninth digit too
    EXPECT_EQ(edit->text(), "12345678");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(answer_of(f), std::optional<int64_t>(12345678));
}

TEST_F(BoxWindows, CheckListBoxChecksEveryItemWithTheCheckAllBox) {
    auto f = ask([] {
        return operator_dialogs()->check_list(0, CheckListRequest{"Items", {"A", "B", "C"}, {false, true, false}, false});
    });
    QWidget* box = box_named("myCheckList");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->size(), QSize(400, 265));
    auto* all = box->findChild<QCheckBox*>();
    auto* items = box->findChild<QTableWidget*>();
    ASSERT_NE(all, nullptr);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(all->text(), " Check / Uncheck all items");
    EXPECT_EQ(items->item(1, 0)->checkState(), Qt::Checked);
    QTest::mouseClick(all, Qt::LeftButton);
    QTest::mouseClick(button_with(box, "OK"), Qt::LeftButton);
    EXPECT_EQ(answer_of(f), (std::optional<std::vector<bool>>(std::vector<bool>{true, true, true})));
}

TEST_F(BoxWindows, InputBoxClearsAnEntryThatBreaksItsRulesAndTakesOneThatKeepsThem) {
    auto f = ask([] { return operator_dialogs()->text(0, TextRequest{"Serial", "", "SN", 5}); });
    QWidget* box = box_named("InputBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->size(), QSize(350, 160));
    auto* edit = box->findChild<QPlainTextEdit*>("5001");
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "AB123");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(edit->toPlainText().isEmpty()) << "the wrong key is cleared";
    EXPECT_TRUE(box->isVisible());
    QTest::keyClicks(edit, "sn12");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(edit->toPlainText().isEmpty()) << "the wrong length is cleared";
    QTest::keyClicks(edit, "sn123");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(answer_of(f), std::optional<std::string>("sn123"));

    // Without a length limit the box is shorter.
    auto g = ask([] { return operator_dialogs()->text(0, TextRequest{"Name", "", "", 0}); });
    box = box_named("InputBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->size(), QSize(350, 145));
    box->close();  // the close button: as Escape
    EXPECT_EQ(answer_of(g), std::nullopt);
}

TEST_F(BoxWindows, BoxesAnswerThemselvesWhenTheCountdownRunsOut) {
    set_box_second_length(40ms);
    auto f = ask([] {
        return operator_dialogs()->message(0, MessageRequest{"Auto", MessageButtons::YesNo, MessageIcon::Question, true});
    });
    QWidget* box = box_named("myBox");
    ASSERT_NE(box, nullptr);
    QPushButton* first = box->findChildren<QPushButton*>().front();
    ASSERT_TRUE(wait_until([&] { return first->text().startsWith("Yes ("); }, 3000)) << "the first button counts";
    const int shown = first->text().mid(5).chopped(1).toInt();
    EXPECT_GE(shown, 0);
    EXPECT_LE(shown, 19);
    EXPECT_EQ(answer_of(f), kAnswerYes);

    auto g = ask([] { return operator_dialogs()->choose(0, ChoiceRequest{"Pick", {"A", "B", "C"}, 1, true}); });
    EXPECT_EQ(answer_of(g), 1);
    auto h = ask([] { return operator_dialogs()->number(0, NumberRequest{"N", 7, true}); });
    EXPECT_EQ(answer_of(h), std::optional<int64_t>(7));
    auto k = ask([] { return operator_dialogs()->check_list(0, CheckListRequest{"C", {"A", "B"}, {true, false}, true}); });
    EXPECT_EQ(answer_of(k), (std::optional<std::vector<bool>>(std::vector<bool>{true, false})));
}

TEST_F(BoxWindows, EscapeInEachBoxStopsTheRunningJob) {
    app().jobs[0].running = true;
    struct Box {
        const char* name;
        std::function<bool()> ask;
    };
    const std::vector<Box> boxes = {
        {"myBox", [] { return operator_dialogs()->message(0, MessageRequest{"x"}) == kAnswerEscaped; }},
        {"myCombo", [] { return operator_dialogs()->choose(0, ChoiceRequest{"x", {"A", "B"}, 0, false}) < 0; }},
        {"myNumber", [] { return !operator_dialogs()->number(0, NumberRequest{"x", 1, false}); }},
        {"myCheckList", [] { return !operator_dialogs()->check_list(0, CheckListRequest{"x", {"A"}, {}, false}); }},
        {"InputBox", [] { return !operator_dialogs()->text(0, TextRequest{"x", "", "", 0}); }},
    };
    for (const Box& b : boxes) {
        SCOPED_TRACE(b.name);
        app().jobs[0].cancel = false;
        auto f = ask(b.ask);
        QWidget* box = box_named(b.name);
        ASSERT_NE(box, nullptr);
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && focus->window() == box ? focus : box, Qt::Key_Escape);
        EXPECT_TRUE(answer_of(f));
        EXPECT_TRUE(app().jobs[0].cancel.load());
    }
}

TEST_F(BoxWindows, TwoSlotsAskingAtOnceSeeOneBoxAtATime) {
    std::atomic<int> most{0};
    auto first = ask([] { return operator_dialogs()->message(0, MessageRequest{"first", MessageButtons::Ok}); });
    auto second = ask([] { return operator_dialogs()->message(1, MessageRequest{"second", MessageButtons::Ok}); });
    for (int answered = 0; answered < 2; ++answered) {
        QWidget* box = box_named("myBox");
        ASSERT_NE(box, nullptr);
        wait_until([] { return false; }, 150);  // time for a second box to appear, were it allowed
        most = std::max(most.load(), visible_boxes());
        QTest::mouseClick(button_with(box, "OK"), Qt::LeftButton);
        wait_until([&] { return !box->isVisible(); }, 2000);
    }
    EXPECT_EQ(answer_of(first), kAnswerYes);
    EXPECT_EQ(answer_of(second), kAnswerYes);
    EXPECT_EQ(most.load(), 1);
}

TEST_F(BoxWindows, AStoppedJobClosesItsBox) {
    auto f = ask([] { return operator_dialogs()->number(0, NumberRequest{"N", 1, false}); });
    QWidget* box = box_named("myNumber");
    ASSERT_NE(box, nullptr);
    app().jobs[0].cancel = true;  // Stop, or a broadcast stop
    EXPECT_EQ(answer_of(f), std::nullopt);
    EXPECT_TRUE(wait_until([] { return visible_box() == nullptr; }, 2000));
    EXPECT_TRUE(owner_->isEnabled());
}

// The file dialog once it shows; nullptr when none showed in time.
QFileDialog* shown_file_dialog() {
    QFileDialog* dialog = nullptr;
    wait_until([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) dialog = d;
        return dialog != nullptr;
    });
    return dialog;
}

TEST_F(BoxWindows, FileDialogGivesTheChosenFileAndEscapeCancelsIt) {
    tb::test::TempFolder folder("tamblor-box-file");
    const std::string path = (folder.dir() / "fw.bin").string();
    std::ofstream(path) << "x";
    FileRequest request{"FW File", FileMode::Open, "bin", {{"*.bin", "FW image"}}};
    auto f = ask([&] { return operator_dialogs()->file(0, request); });
    QFileDialog* dialog = shown_file_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "FW File");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"FW image (*.bin)"});
    EXPECT_FALSE(owner_->isEnabled());
    // The operator types the file's name and presses Enter.
    dialog->setDirectory(QString::fromStdString(folder.dir().string()));
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, "fw.bin");
    QTest::keyClick(name, Qt::Key_Return);
    const std::optional<std::string> chosen = answer_of(f);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::path(*chosen), std::filesystem::path(path));

    app().jobs[0].running = true;
    auto g = ask([&] { return operator_dialogs()->file(0, request); });
    dialog = shown_file_dialog();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(answer_of(g), std::nullopt);
    EXPECT_TRUE(app().jobs[0].cancel.load());
}

TEST_F(BoxWindows, FolderDialogGivesTheChosenFolder) {
    tb::test::TempFolder folder("tamblor-box-folder");
    std::filesystem::create_directories(folder.dir() / "run-1");
    FileRequest request;
    request.title = "Select Upload Folder";
    request.mode = FileMode::Folder;
    auto f = ask([&] { return operator_dialogs()->file(0, request); });
    QFileDialog* dialog = shown_file_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Select Upload Folder");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    dialog->setDirectory(QString::fromStdString(folder.dir().string()));
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, "run-1");
    QTest::keyClick(name, Qt::Key_Return);
    const std::optional<std::string> chosen = answer_of(f);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::path(*chosen), folder.dir() / "run-1");
}

}  // namespace
}  // namespace tb::qtui
