// window_bench: the window with big lists, on Qt's offscreen platform (or the display it is given).
//
//  1. A fragment list of 1,000,000 rows: the time to load it into the view and paint it, to sort
//     it by a number column and by the text column, and to scroll to its end and paint there.
//     Target: each under 2 s.
//  2. A scan through the window (SCAN on a whole-disk image) that finds 100,000 fragments: the
//     longest time the UI thread was kept from its events meanwhile (a 5 ms timer measures the
//     gaps between its ticks). Target: under 100 ms. Also the scan's throughput against a plain
//     read of the same image in the same run.
//
// Usage: window_bench [--rows N] [--fragments N]. The scan image is cached in the build folder's
// fixtures/ (N × 8 KiB: one page per fragment, page numbers two apart so no two join).
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/session.h"
#include "gui/list_models.h"
#include "gui/main_window.h"
#include "tests/gui/dialog_script.h"
#include "tests/gui/window_recovery.h"
#include "tests/support/page_builder.h"
#include "tests/support/volume_images.h"

namespace {

using pagerake::gui::TForm1;

double Ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

// Lets the view lay itself out and paint what shows.
void Paint(QWidget& w) {
  QApplication::processEvents();
  w.repaint();
  QApplication::processEvents();
}

std::string ScanImage(int fragments) {
  const std::filesystem::path path =
      pagerake::testing::FixtureDir() / ("window-bench-" + std::to_string(fragments) + ".img");
  if (std::filesystem::exists(path) &&
      std::filesystem::file_size(path) == uint64_t(fragments) * 8192) {
    return path.string();
  }
  std::filesystem::create_directories(path.parent_path());
  const std::filesystem::path part = path.string() + ".part";
  std::ofstream out(part, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < fragments; ++i) {
    const pagerake::testing::Page page =
        pagerake::testing::MakeDataPage(1, 2 * static_cast<uint32_t>(i) + 2, 7);
    out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
  }
  out.close();
  std::filesystem::rename(part, path);
  return path.string();
}

double PlainReadSeconds(const std::string& path) {
  QElapsedTimer t;
  t.start();
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
  return Ms(t) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  QApplication app(argc, argv);
  int rows = 1000000;
  int fragments = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--rows") rows = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--fragments") fragments = std::atoi(argv[i + 1]);
  }

  // 1. The big list.
  {
    TForm1 w;
    w.show();
    w.PageControl1->setCurrentIndex(1);
    Paint(w);
    pagerake::Session& s = w.session();
    for (int i = 0; i < rows; ++i) {
      pagerake::FragmentRecord r{i + 1, 1000 + 40 * int64_t(rows - i), 1016 + 40 * int64_t(rows - i),
                                 8, (i * 7919) % 500000, (i * 7919) % 500000 + 1,
                                 i % 3 == 0 ? "b" : "A", true, static_cast<int16_t>(1 + i % 4)};
      s.fragmentList.AppendRecord(r);
    }
    QElapsedTimer t;
    t.start();
    w.fragmentModel->Reset();
    Paint(w);
    const double load = Ms(t);
    t.restart();
    w.ListView2->header()->sectionClicked(5);  // 开始扇区: by value
    Paint(w);
    const double sortNumber = Ms(t);
    t.restart();
    w.ListView2->header()->sectionClicked(4);  // 备注: by text
    Paint(w);
    const double sortText = Ms(t);
    t.restart();
    w.ListView2->scrollToBottom();
    Paint(w);
    const double scroll = Ms(t);
    std::printf("fragment list of %d rows: load %.0f ms, sort by sector %.0f ms, sort by memo "
                "%.0f ms, scroll to the end %.0f ms (target: each under 2000 ms)\n",
                rows, load, sortNumber, sortText, scroll);
  }

  // 2. A scan through the window that finds many fragments.
  const std::string image = ScanImage(fragments);
  const double plain = PlainReadSeconds(image);
  TForm1 w;
  w.show();
  Paint(w);
  pagerake::gui::testing::DialogScript script;
  script.Choose("", QString::fromStdString(image));
  script.Press(QString::fromUtf8("数据文件类型选择"), QMessageBox::No);
  w.N7->trigger();
  QElapsedTimer clock;
  qint64 last = 0;
  qint64 longest = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  clock.start();
  tick.start(5);
  w.btnscan->click();
  if (!pagerake::gui::testing::WaitForJob(w, 1800000)) {
    std::fprintf(stderr, "window_bench: the scan did not end\n");
    return 1;
  }
  const double seconds = Ms(clock) / 1000.0;
  tick.stop();
  const int listed = w.ListView2->model()->rowCount();
  const double mb = double(fragments) * 8192 / 1e6;
  std::printf("scan through the window: %d fragments listed (of %d) in %.2f s, %.0f MB/s; plain "
              "read %.2f s, %.0f MB/s; scan / plain read %.2f\n",
              listed, fragments, seconds, mb / seconds, plain, mb / plain, seconds / plain);
  std::printf("longest time the UI thread was kept from its events during the scan: %.1f ms "
              "(target: under 100 ms)\n",
              (longest - 5e6) / 1e6 > 0 ? (longest - 5e6) / 1e6 : 0.0);
  return listed == fragments ? 0 : 1;
}
