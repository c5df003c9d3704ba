// SearchBench.cpp: the search window's search over a large tree, as a user runs it.
//
//   krv_bench_search make TREE FILES   writes a tree of FILES empty files (100 per folder,
//                                      folders three levels deep, one file in 50 a store)
//   krv_bench_search run TREE [RUNS]   shows the search window, searches TREE with the
//                                      default criteria, and prints one line per run
//
// Each run line gives the seconds from pressing Start Search to the end of the search,
// the files found, and how well the window kept answering: the longest gap between two
// ticks of a 10 ms timer while the search ran, and how many gaps exceeded 100 ms.
#include "frontend/app/SearchFrm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace {

int MakeTree(const QString& root, long files)
{
    const int perFolder = 100;
    const long folders = (files + perFolder - 1) / perFolder;
    long written = 0;
    for (long f = 0; f < folders; ++f) {
        // Three levels: 20 top folders, 10 below each, then the leaves.
        const QString folder =
            QStringLiteral("%1/top%2/mid%3/leaf%4").arg(root).arg(f % 20).arg((f / 20) % 10).arg(f / 200);
        if (!QDir().mkpath(folder)) return 1;
        for (int i = 0; i < perFolder && written < files; ++i, ++written) {
            const QString name = i % 50 == 0 ? QStringLiteral("Mail%1.PST").arg(i) : QStringLiteral("doc%1.txt").arg(i);
            QFile file(folder + u'/' + name);
            if (!file.open(QIODevice::WriteOnly)) return 1;
        }
    }
    // A loop of links, which the search must not follow.
    QFile::link(root, root + QStringLiteral("/top0/loop"));
    std::printf("tree: %ld files in %ld folders under %s\n", written, folders, qPrintable(root));
    return 0;
}

int RunSearch(const QString& root, int runs)
{
    TSearchForm form(nullptr, [] {});
    form.setModal(false);
    form.show();
    form.findChild<QComboBox*>(QStringLiteral("cmbDirectory"))->setEditText(root);
    auto* start = form.findChild<QPushButton*>(QStringLiteral("btnSearch"));
    auto* results = form.findChild<QTreeWidget*>(QStringLiteral("fl"));

    // The completion box is closed as soon as it shows.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    answer.start(5);

    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock, sinceTick;
        qint64 searchMs = -1, longestGapMs = 0;
        int longGaps = 0;
        bool searching = false;
        QTimer tick;
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (!searching) return;
            const qint64 gap = sinceTick.restart();
            longestGapMs = std::max(longestGapMs, gap);
            if (gap > 100) ++longGaps;
        });
        auto ended = QObject::connect(&form.Search(), &FileSearch::Ended, [&] {
            searchMs = clock.elapsed();
            searching = false;
        });
        tick.start();
        clock.start();
        sinceTick.start();
        searching = true;
        start->click();
        QObject::disconnect(ended);
        std::printf("run %d: %.2f s, %d file(s) found, longest gap between events %lld ms, gaps over 100 ms: %d\n", run,
                    double(searchMs) / 1000.0, results->topLevelItemCount(), static_cast<long long>(longestGapMs),
                    longGaps);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == u"make") return MakeTree(args[2], args[3].toLong());
    if (args.size() >= 3 && args[1] == u"run") return RunSearch(args[2], args.size() >= 4 ? args[3].toInt() : 3);
    std::fprintf(stderr, "usage: krv_bench_search make TREE FILES | run TREE [RUNS]\n");
    return 2;
}
