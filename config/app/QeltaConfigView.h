// CQeltaConfigView: the configurator's main form without any window system. It owns the
// program's shared state (settings, serial port, open configuration file, output list, control
// states, base station flags), the one link control (control 1000) and talks to the screen only
// through the UI port.
//
// Life: construct (zeroes the state, creates the link, runs the StartDiscovery hook), then
// InitialiseForm() once the window exists; the destructor runs the StopDiscovery hook.
//
// Plugging in operations of other areas:
//  - Commands and buttons: SetCommandHandler(id, fn). RunCommand(id) runs the handler of a menu
//    command or button. The form registers its own commands; every area installs its commands in
//    its Install...() function, which app/AreaHooks.cpp calls (the one routing file).
//  - Edit field changes: SetChangeHandler(id, fn), run after SetControlText(id, ...) and after a
//    front end reports a user edit through OnControlEdited(id, text).
//  - Fixed points of the start and the end: FormHooks (StartDiscovery, StopDiscovery, the read-out
//    list loader, the context menus, the boot step, the list's click notifications), filled by
//    DefaultFormHooks() in app/AreaHooks.cpp.
// The base stations the network area knows (the table, its lock, the silent list) are the form's
// station directory, which it hands to what works on stations. The terminal parameters' tables
// live in the holder `params`, defined by that area. A command's work on stations goes through
// station handles, never through the form: the form lends a run its link, rows and state through
// FormRunHost (app/StationRuns.h), see docs/architecture.md.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/ControlIds.h"
#include "app/ControlModel.h"
#include "app/HttpHandlerLookup.h"
#include "app/OutputList.h"
#include "app/SessionLog.h"
#include "core/FileAccess.h"
#include "core/SettingsStore.h"
#include "core/WorkingFolder.h"
#include "fleet/FleetSettings.h"
#include "halvex/HalvexCtrl.h"
#include "network/StationDirectory.h"
#include "ui/MenuModel.h"
#include "ui/UiPort.h"

class CQeltaConfigView;
struct BaseStationRecord;
struct ParamsState;  // defined by the terminal parameters area

// Operations of other areas that the form calls at fixed points. Unset members do nothing.
struct FormHooks {
  std::function<void(CQeltaConfigView&)> startDiscovery;     // at construction
  std::function<void(CQeltaConfigView&)> stopDiscovery;      // at destruction
  std::function<void(CQeltaConfigView&)> loadReadoutList;    // end of LoadSettings
  std::function<void(CQeltaConfigView&)> buildContextMenus;  // InitialiseForm step 11
  std::function<void(CQeltaConfigView&)> bootStep;           // start timer with pendingBoot set
  std::function<void(CQeltaConfigView&)> onListClick;
  std::function<void(CQeltaConfigView&, int x, int y)> onListRightClick;
  // The dotted address text of a base station record ("Web" opens http://<it>).
  std::function<std::string(const BaseStationRecord&)> addressTextOf;
};

// Services of the platform; null members take the real ones.
struct FormEnvironment {
  IFileAccess* files = nullptr;
  IHttpHandlerLookup* browserLookup = nullptr;
  std::string settingsFile;  // empty: SettingsStore::DefaultPath()
  WorkingFolderPlan workingFolder;
  bool changeDirectory = true;  // make the working folder the current directory
  // A front end that never opens a web page skips asking the desktop for its browser.
  bool lookUpBrowser = true;
  // Discovery runs from the form's construction; a front end that works on base stations in only
  // some of its commands starts it itself (hooks().startDiscovery) when one of them runs.
  bool discoveryAtConstruction = true;
};

class CQeltaConfigView {
 public:
  static constexpr const char* kVersionText = "QeltaConfig Version 2.3.0";
  static constexpr const char* kDefaultSettingsPath = "c:\\";
  static constexpr const char* kDefaultEthUser = "root";
  static constexpr const char* kDefaultEthPassword = "kqzv";
  static constexpr const char* kBrowserFallback = "/usr/bin/xdg-open";
  // Buffer sizes of the loaded texts, terminating zero included.
  static constexpr std::size_t kSettingsPathBytes = 255;
  static constexpr std::size_t kEthUserBytes = 12;
  static constexpr std::size_t kEthPasswordBytes = 12;
  static constexpr std::size_t kBrowserCommandBytes = 1000;

  CQeltaConfigView(qelta::UiPort& ui, FormEnvironment env = {}, FormHooks hooks = {});
  ~CQeltaConfigView();
  CQeltaConfigView(const CQeltaConfigView&) = delete;
  CQeltaConfigView& operator=(const CQeltaConfigView&) = delete;

  // --- Start-up --------------------------------------------------------------------------------
  void InitialiseForm();
  void LoadSettings();
  void ApplyModeLayout();
  void DeriveBrowserCommand();
  // The document named on the command line or dropped on the window: only the title changes.
  void OpenDocument(const std::string& path);

  // --- The stores (each opens the settings afresh) --------------------------------------------
  void StoreSettingsPath();
  void StoreEthUser();
  void StoreEthPassword();
  void StoreIgnoreNetTempIP();
  void StoreUIModes();

  // --- Commands of the shell --------------------------------------------------------------------
  void SelectComPort(int n);
  void OpenConfigurationFile();
  void OpenWebPage();
  void ShowAbout();
  void CloseProgram();
  // Sets (or with an empty path removes) the device path of COM port n, stores it as
  // "ComDevice<n>" and hands it to the link. 0 or errno of the store.
  int SetComDevice(int n, const std::string& devicePath);

  // --- Output list
  // -------------------------------------------------------------------------------- Appends a row
  // (no item data), scrolls it into view and repaints; returns the row index.
  int AddOutputRow(const std::string& name, const std::string& value, int image);
  // The same with a kind that the image does not tell (a warning shown with the failure image).
  int AddOutputRow(const std::string& name, const std::string& value, int image,
                   qelta::RowKind kind);
  OutputList& outputList() { return list_; }
  const OutputList& outputList() const { return list_; }

  // --- Controls and command routing
  // ---------------------------------------------------------------
  ControlModel& controls() { return controls_; }
  const ControlModel& controls() const { return controls_; }
  // Sets a control's text and runs its change handler (as an edit would).
  void SetControlText(int id, const std::string& text);
  // A front end reports that the user edited a control.
  void OnControlEdited(int id, const std::string& text) { SetControlText(id, text); }

  using CommandHandler = std::function<void()>;
  void SetCommandHandler(int id, CommandHandler handler);
  bool HasCommandHandler(int id) const { return commands_.count(id) != 0; }
  // Runs a command or button; false when nothing handles the id.
  bool RunCommand(int id);
  void SetChangeHandler(int controlId, CommandHandler handler);

  // List notifications from the front end (they go to the base station list's handlers).
  void OnListClick();
  void OnListRightClick(int x, int y);

  // The main menu: popups with their titles ("&File", "COM port", "Base station"). The COM items'
  // check marks are in controls() under their command ids.
  static std::vector<std::pair<std::string, qelta::MenuModel>> MainMenu();

  // The window title: "QeltaConfig - " and the document's title.
  std::string WindowTitle() const { return controls_.Text(ids::kWindow); }
  // Set by CloseProgram; a front end ends its loop when it sees it.
  bool closeRequested() const { return closeRequested_; }

  // --- Services -------------------------------------------------------------------------------
  CHalvexCtrl& link() { return *link_; }
  qelta::UiPort& ui() { return ui_; }
  SettingsStore& settings() { return store_; }
  IFileAccess& files() { return *files_; }
  FormHooks& hooks() { return hooks_; }
  SessionLog& sessionLog() { return log_; }
  // The base station table, its lock and the silent list; the discovery thread that fills the
  // table shows its status, rows and errors on this form and reads its list flags.
  qelta::network::StationDirectory& directory() { return *directory_; }
  // A CSettingsKey-style helper is created where needed: CSettingsKey key(settings(), ui());

  // Shows a message box on the main window (shorthand for ui().MessageBox).
  qelta::MessageAnswer Message(const std::string& text, const std::string& caption,
                               qelta::MessageButtons buttons = qelta::MessageButtons::Ok,
                               qelta::MessageIcon icon = qelta::MessageIcon::Error);

  // --- State read and written by the operations ---------------------------------------------
  int32_t comPort = 0;
  std::string settingsPath;
  std::string ethUser;
  std::string ethPassword;
  std::string browserCommand;            // the browser program; empty when none was found
  std::vector<std::string> browserArgs;  // fixed arguments of its command before the address
  int32_t uiService = 0;
  int32_t uiProduction = 0;
  // "Set" reads back what it wrote / writes only what differs ("VerifyWrites", "WriteChangedOnly";
  // the command line's --verify and --changed-only set them for one command).
  int32_t verifyWrites = 0;
  int32_t writeChangedOnly = 0;
  std::atomic<int32_t> ignoreTempAddresses{1};    // read by the discovery thread
  std::atomic<int32_t> discoveryIntervalMs{500};  // read by the discovery thread
  int32_t formReady = 0;
  std::string programDir;  // working folder, ending in '/'
  std::string startDir;    // current directory after initialisation
  std::string configFilePath;
  int32_t pendingBoot = 0;
  int16_t eepromPage = 0;
  std::string firmwarePath;
  // The number the form itself put into the comm ID field from "CommID" (unset once the user or a
  // command changed the field): a run that keeps it takes the stored next comm ID instead.
  std::optional<uint32_t> offeredCommId;

  // Base station list state (the list area reads and writes these).
  std::atomic<bool> listShowsBaseStations{false};  // read by the discovery thread
  BaseStationRecord* selectedBaseStation = nullptr;
  bool deviceMenuEnabled = false;
  qelta::MenuModel singleStationMenu;
  qelta::MenuModel multiStationMenu;
  qelta::MenuModel deviceMenu;

  // Area-owned state the form holds for its whole life: the terminal parameters' function-key
  // and selection tables.
  std::shared_ptr<ParamsState> params;
  // How the front end wants the form's multi-station runs: stations at once, progress monitor.
  qelta::fleet::FleetOptions fleet;

 private:
  void DefineControls();
  void RegisterShellCommands();
  void OnStartTimer();
  void ApplyComDevices();
  void UpdateComPortChecks();
  void SetDocumentTitle(const std::string& title);
  qelta::network::DiscoveryHooks DirectoryHooks();

  qelta::UiPort& ui_;
  FormEnvironment env_;
  FormHooks hooks_;
  IFileAccess* files_;
  std::unique_ptr<IHttpHandlerLookup> ownedLookup_;
  IHttpHandlerLookup* lookup_;
  SettingsStore store_;
  ControlModel controls_;
  OutputList list_;
  SessionLog log_;
  std::map<int, CommandHandler> commands_;
  std::map<int, CommandHandler> changeHandlers_;
  bool closeRequested_ = false;
  bool logAttached_ = false;
  // Shared with the discovery status texts on their way to the form's thread: a text that
  // arrives after the form has gone finds it gone.
  std::shared_ptr<qelta::network::StationDirectory> directory_;
  std::unique_ptr<CHalvexCtrl> link_;
};

// The hooks of the other areas (app/AreaHooks.cpp).
FormHooks DefaultFormHooks();
// Installs every area's commands on a form (app/AreaHooks.cpp); the form's own commands are
// registered by its constructor.
void InstallAreaCommands(CQeltaConfigView& view);
// A main form with every area plugged in: DefaultFormHooks() and InstallAreaCommands(). Front ends
// create their form this way, then call InitialiseForm().
std::unique_ptr<CQeltaConfigView> CreateMainForm(qelta::UiPort& ui, FormEnvironment env = {});
