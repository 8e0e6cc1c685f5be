// What a person does with the job log: a double-click opens the file a line
// carries (with the viewer beside the program when it shows that kind of
// file), the pop-up menu's Clean Screen empties the list and Save Screen
// keeps it in a folder on the desktop; the menu is refused while a job runs.
#include <gtest/gtest.h>

#include <QAction>
#include <filesystem>

#include "common/file_handle.h"
#include "common/text.h"
#include "script/job_log_writer.h"
#include "tests/qt/recording_desktop.h"
#include "tests/qt/window_fixture.h"
#include "ui/save_screen.h"

namespace tb::qtui::test {
namespace {

namespace fs = std::filesystem;

class LogActions : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        desk_ = tb::test::make_temp_dir("tamblor-desk");
        program_folder_ = tb::test::make_temp_dir("tamblor-program");
        app().program_path = (fs::path(program_folder_) / "tamblor").string();
        requests_ = std::make_shared<DesktopRequests>();
        set_desktop(std::make_unique<RecordingDesktop>(desk_, requests_));
    }
    void TearDown() override {
        set_desktop(nullptr);
        WindowFixture::TearDown();
        std::error_code ec;
        fs::remove_all(desk_, ec);
        fs::remove_all(program_folder_, ec);
    }

    // Writes a line carrying `value` and waits for it in the list; its row.
    int line_with_value(const std::string& text, const std::string& value) {
        write_line(0, text, LineFormat::Normal, 10, colour::kWhite, LineKind::Text, value);
        int row = -1;
        EXPECT_TRUE(wait_until([&] { return listed(text, &row); }, 3000));
        return row;
    }
    void double_click(int row) { emit window_->log_view()->doubleClicked(window_->log_model()->index(row)); }

    void install_viewer() {
        fs::create_directories(fs::path(program_folder_) / "ExtCmd");
        write_file_bytes((fs::path(program_folder_) / "ExtCmd" / "moreViewer.exe").string(), "viewer");
    }
    // The menu entry named `name` of a fresh pop-up menu, triggered.
    void choose(const QString& name) {
        std::unique_ptr<QMenu> menu(window_->make_log_menu());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (a->text() == name) return a->trigger();
        ADD_FAILURE() << "no entry " << name.toStdString();
    }

    std::string desk_;
    std::string program_folder_;
    std::shared_ptr<DesktopRequests> requests_;
};

TEST_F(LogActions, DoubleClickOpensTheLinesFileWithTheViewerOrTheDesktop) {
    open_window("Exit( ErrCode:0 );", "");
    const std::string csv = tb::test::write_file(folder_, "report.csv", "a,b\n1,2\n");
    const std::string png = tb::test::write_file(folder_, "shot.png", "not really a picture");

    // Without the viewer the desktop opens the file.
    double_click(line_with_value("CSV LINE", csv));
    ASSERT_EQ(requests_->opened.size(), 1u);
    EXPECT_EQ(requests_->opened[0], csv);

    // With the viewer beside the program, it shows the kinds of file it knows...
    install_viewer();
    double_click(line_with_value("CSV AGAIN", csv));
    ASSERT_EQ(requests_->opened_with.size(), 1u);
    EXPECT_EQ(fs::path(requests_->opened_with[0].first),
              fs::path(program_folder_) / "ExtCmd" / "moreViewer.exe");
    EXPECT_EQ(requests_->opened_with[0].second, csv);
    // ...and the desktop the others.
    double_click(line_with_value("PNG LINE", png));
    ASSERT_EQ(requests_->opened.size(), 2u);
    EXPECT_EQ(requests_->opened[1], png);

    // An address is opened; a line without a value, a missing file or any
    // other text opens nothing.
    double_click(line_with_value("LINK LINE", "http://logs.example/run/12"));
    ASSERT_EQ(requests_->opened.size(), 3u);
    EXPECT_EQ(requests_->opened[2], "http://logs.example/run/12");
    double_click(line_with_value("PLAIN LINE", ""));
    double_click(line_with_value("GONE LINE", (fs::path(folder_) / "gone.csv").string()));
    double_click(line_with_value("WORD LINE", "just words"));
    EXPECT_EQ(requests_->opened.size(), 3u);
    EXPECT_EQ(requests_->opened_with.size(), 1u);
}

TEST_F(LogActions, SaveScreenKeepsTheLinesInAFolderOnTheDesktop) {
    MainWindow& w = open_window("Exit( ErrCode:0 );", "");
    const std::string csv = tb::test::write_file(folder_, "report.csv", "a,b\n1,2\n");
    line_with_value("SAVED LINE <one>", csv);
    write_line(0, "LEFT LINE", LineFormat::LeftAligned, 10, colour::kRed);
    ASSERT_TRUE(wait_until([&] { return listed("LEFT LINE"); }, 3000));

    choose("Save Screen");
    QMessageBox* box = open_box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Save Screen Finish");
    box->button(QMessageBox::Ok)->click();

    std::vector<fs::path> made;
    for (const auto& e : fs::directory_iterator(desk_)) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    const std::string name = made[0].filename().string();
    EXPECT_TRUE(name.rfind("[SaveScreen_", 0) == 0 && name.back() == ']') << name;
    EXPECT_EQ(name.size(), std::string("[SaveScreen_20261209-101500-123]").size()) << name;
    ASSERT_EQ(requests_->opened.size(), 1u);
    EXPECT_EQ(fs::path(requests_->opened[0]), made[0]) << "the folder is opened for the operator";

    std::string text16, html, copied;
    ASSERT_TRUE(read_file_bytes((made[0] / "TestLog.txt").string(), text16));
    std::u16string units(text16.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(text16[2 * i]) | static_cast<uint8_t>(text16[2 * i + 1]) << 8);
    EXPECT_EQ(to_utf8(units), "        SAVED LINE <one>\nLEFT LINE\n");
    ASSERT_TRUE(read_file_bytes((made[0] / "TestLog.htm").string(), html));
    EXPECT_NE(html.find("SAVED&nbsp;LINE&nbsp;&lt;one&gt;"), std::string::npos) << html;
    ASSERT_TRUE(read_file_bytes((made[0] / "report.csv").string(), copied)) << "the line's file is copied";
    EXPECT_EQ(copied, "a,b\n1,2\n");
    EXPECT_EQ(fs::path(job_slot(0)->log_folder), made[0]) << "the folder is the job log folder until the next job";
    EXPECT_FALSE(w.job_running());
}

TEST_F(LogActions, SaveScreenOfAnEmptyLogSaysNoData) {
    open_window("Exit( ErrCode:0 );", "");
    choose("Save Screen");
    QMessageBox* box = open_box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "No Data");
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(fs::is_empty(desk_));
    EXPECT_TRUE(requests_->opened.empty());
}

TEST_F(LogActions, CleanScreenEmptiesTheListAndTheMenuWaitsForTheJob) {
    MainWindow& w = open_window("Delay( sec:30 );\n", "");
    line_with_value("SOME LINE", "");
    choose("Clean Screen");
    EXPECT_TRUE(wait_until([&] { return w.log_model()->rowCount() == 0; }, 3000));
    EXPECT_TRUE(job_log_lines(0).empty());

    w.start_job();
    ASSERT_TRUE(job_started());
    EXPECT_EQ(w.make_log_menu(), nullptr) << "no pop-up menu while a job runs";
    set_cancel(0);
    ASSERT_TRUE(job_done());
}

TEST(SaveScreenName, TheFolderNameCarriesDateTimeAndMilliseconds) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 0;
    tm.tm_mday = 5;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    EXPECT_EQ(save_screen_folder_name(tm, 42), "[SaveScreen_20260105-070809-042]");
}

}  // namespace
}  // namespace tb::qtui::test
