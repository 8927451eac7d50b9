// Takes the pictures of setup's Links and File Echoes dialogs that the README
// shows: run by scripts/screenshots.sh in a node written from demo/, under
// a virtual X server, with one fixed font so that anyone gets the same
// pictures. Usage: setup_screenshots OUTPUT_DIR (started in the node).
#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QListWidget>
#include <QPixmap>
#include <QStyleFactory>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/ui/fe_form.h"
#include "setup/ui/link_form.h"
#include "setup/ui/setup_windows.h"

namespace {

bool Picture(QDialog* dialog, const QString& file) {
  dialog->show();
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  bool saved = dialog->grab().save(file, "PNG");
  dialog->hide();
  if (!saved) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup_screenshots OUTPUT_DIR\n");
    return 2;
  }
  LoadConfiguration(platform::DefaultEnv());
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setFont(QFont("DejaVu Sans", 9));
  CreateSetupWindows(platform::DefaultEnv());
  const QString dir = QString::fromLocal8Bit(argv[1]) + "/";
  bool ok = Picture(Windows().link_form, dir + "setup-links.png");
  // The echo with its connected nodes, the first of them selected.
  TFEForm* echoes = Windows().fe_form;
  echoes->show();
  if (auto* nodes = echoes->findChild<QListWidget*>("ListBox1"); nodes && nodes->count() > 0) {
    nodes->setCurrentRow(0);
  }
  ok = Picture(echoes, dir + "setup-file-echoes.png") && ok;
  // Nothing was changed: "Save changes ?" is answered No.
  SetMessageBoxHandler([](const MessageBoxRequest&) { return MessageAnswer::kNo; });
  DestroySetupWindows();
  return ok ? 0 : 1;
}
