// A minimal host program for tests: a CPlayStatic window (offscreen) that
// plays the file given and prints "playing" once frames arrive, then runs
// until it is killed.
#include <QApplication>

#include <cstdio>

#include "preview/PlayStatic.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  mivora::CPlayStatic player;
  player.resize(160, 120);
  player.show();
  QObject::connect(&player, &mivora::CPlayStatic::frameDrawn, [](quint64 number) {
    if (number == 1) {
      std::printf("playing\n");
      std::fflush(stdout);
    }
  });
  player.Play(argv[1]);
  return app.exec();
}
