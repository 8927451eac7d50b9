#include "setup/ui/setup_windows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <utility>

#include "setup/ui/about_form.h"
#include "setup/ui/allfix_form.h"
#include "setup/ui/ano_form.h"
#include "setup/ui/dmn_form.h"
#include "setup/ui/fe_form.h"
#include "setup/ui/go_form.h"
#include "setup/ui/link_form.h"
#include "setup/ui/main_form.h"
#include "setup/ui/node_form.h"
#include "setup/ui/opt_form.h"
#include "setup/ui/pfn_form.h"

SetupWindowSet& Windows() {
  static SetupWindowSet windows;
  return windows;
}

void CreateSetupWindows(platform::Env& env) {
  SetupWindowSet& w = Windows();
  w.main_form = new TMainForm(env);
  w.go_form = new TGOForm;
  w.pfn_form = new TPFNForm;
  w.dmn_form = new TDMNForm;
  w.link_form = new TLinkForm;
  w.fe_form = new TFEForm;
  w.node_form = new TNodeForm;
  w.about_form = new TAboutForm;
  w.allfix_form = new TALLFIXForm;
  w.ano_form = new TAnoForm;
  w.opt_form = new TOptForm;
}

void DestroySetupWindows() {
  SetupWindowSet w = std::exchange(Windows(), SetupWindowSet{});
  delete w.main_form;
  delete w.go_form;
  delete w.pfn_form;
  delete w.dmn_form;
  delete w.link_form;
  delete w.fe_form;
  delete w.node_form;
  delete w.about_form;
  delete w.allfix_form;
  delete w.ano_form;
  delete w.opt_form;
}

void CentreOnScreen(QWidget* window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!window || !screen) return;
  QRect area = screen->availableGeometry();
  window->move(area.center() - window->rect().center());
}
