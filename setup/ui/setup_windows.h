// The windows of setup: one instance each, created once at start and kept
// until the end, so that a dialog is not rebuilt between uses.
#pragma once

class QWidget;
namespace platform {
class Env;
}
class TMainForm;
class TGOForm;
class TPFNForm;
class TDMNForm;
class TLinkForm;
class TFEForm;
class TNodeForm;
class TAboutForm;
class TALLFIXForm;
class TAnoForm;
class TOptForm;

struct SetupWindowSet {
  TMainForm* main_form = nullptr;
  TGOForm* go_form = nullptr;
  TPFNForm* pfn_form = nullptr;
  TDMNForm* dmn_form = nullptr;
  TLinkForm* link_form = nullptr;
  TFEForm* fe_form = nullptr;
  TNodeForm* node_form = nullptr;
  TAboutForm* about_form = nullptr;
  TALLFIXForm* allfix_form = nullptr;
  TAnoForm* ano_form = nullptr;
  TOptForm* opt_form = nullptr;
};

SetupWindowSet& Windows();

// Creates the main window first, then the dialogs. The main window reads
// and writes files through `env` until it goes.
void CreateSetupWindows(platform::Env& env);
// Destroys the main window first (its destruction asks whether to save),
// then the dialogs.
void DestroySetupWindows();

void CentreOnScreen(QWidget* window);
