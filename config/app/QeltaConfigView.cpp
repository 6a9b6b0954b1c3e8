#include "app/QeltaConfigView.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "app/LinkSettings.h"
#include "core/SettingsKey.h"
#include "core/SettingsPropertyBag.h"
#include "params/ParamsState.h"

using qelta::MessageAnswer;
using qelta::MessageButtons;
using qelta::MessageIcon;

namespace {

constexpr const char* kComDevicePrefix = "ComDevice";

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  if (!getcwd(buf.data(), buf.size())) return {};
  return buf.data();
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CQeltaConfigView::CQeltaConfigView(qelta::UiPort& ui, FormEnvironment env, FormHooks hooks)
    : ui_(ui),
      env_(std::move(env)),
      hooks_(std::move(hooks)),
      files_(env_.files ? env_.files : &RealFileAccess()),
      lookup_(env_.browserLookup),
      store_(*files_, env_.settingsFile.empty() ? SettingsStore::DefaultPath() : env_.settingsFile),
      log_(*files_) {
  if (!lookup_) {
    ownedLookup_ = std::make_unique<XdgHttpHandlerLookup>();
    lookup_ = ownedLookup_.get();
  }
  DefineControls();
  RegisterShellCommands();
  ignoreTempAddresses = 1;
  params = std::make_shared<ParamsState>();
  // Probes and their silent-station rows work before (or without) the discovery thread.
  directory_ = std::make_shared<qelta::network::StationDirectory>();
  directory_->Discovery().SetHooks(DirectoryHooks());
  if (env_.discoveryAtConstruction && hooks_.startDiscovery) hooks_.startDiscovery(*this);
  // Control 1000: kept for the form's whole life. Messages the library would show in its own
  // message boxes appear on the form's window.
  link_ = std::make_unique<CHalvexCtrl>();
  link_->SetMessageHandler([this](const std::string& text, const std::string& caption) {
    ui_.MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
  });
}

CQeltaConfigView::~CQeltaConfigView() {
  // The window goes first (with it the link control), then the form stops discovery.
  if (link_) link_->SetMessageHandler(nullptr);
  link_.reset();
  if (hooks_.stopDiscovery) hooks_.stopDiscovery(*this);
}

void CQeltaConfigView::DefineControls() {
  auto def = [this](int id, const std::string& text, bool enabled = true, bool visible = true) {
    ControlState s;
    s.text = text;
    s.enabled = enabled;
    s.visible = visible;
    controls_.Define(id, s);
  };
  def(ids::kWindow, "QeltaConfig - Untitled");
  def(ids::kReadDeviceInfoButton, "&Read Device Info");
  def(ids::kFileLabel, "File:");
  def(ids::kFileNameLabel, "");
  def(ids::kSetConfigButton, "Set", false);
  def(ids::kGetConfigButton, "Get");
  def(ids::kEditWithNotepadButton, "Edit with Notepad", false);
  def(ids::kRadioTypeGroup, "Radio type");
  def(ids::kRadioType1, "1");
  def(ids::kRadioType2, "2");
  def(ids::kRadioType3, "3");
  def(ids::kCommIdGroup, "Comm ID");
  def(ids::kCommIdLabel, "CommID:");
  def(ids::kCommIdField, "");
  {
    ControlState field;
    field.readOnly = true;
    controls_.Define(ids::kCommIdField, field);
  }
  def(ids::kSetNewCommIdButton, "&Set new", true, false);
  def(ids::kNextCommIdLabel, "Set next CommID:", true, false);
  def(ids::kNextCommIdButton, "", true, false);
  def(ids::kDiscoveryStatusLabel, "Base station discovery");
  def(ids::kResetBaseStationsButton, "Reset");
  def(ids::kViewBaseStationsButton, "View");
  def(ids::kLinkControl, "");
  def(ids::kOutputList, "");
  def(ids::kClearListButton, "C&lear list");
  def(ids::kCloseButton, "C&lose");
  for (int n = 1; n <= 8; ++n) def(ids::kCmdCom1 + n - 1, "COM" + std::to_string(n));
}

std::vector<std::pair<std::string, qelta::MenuModel>> CQeltaConfigView::MainMenu() {
  qelta::MenuModel file;
  file.AddItem(ids::kCmdOpenConfigFile, "&Open Configuration File...");
  file.AddItem(ids::kCmdCheckConfigFile, "Check configuration file");
  file.AddItem(ids::kCmdCompareWithDevice, "Compare with device");
  file.AddItem(ids::kCmdFirmwareUpdate, "FirmWare update...");
  file.AddSeparator();
  file.AddItem(ids::kCmdAbout, "&About QeltaConfig...");
  file.AddItem(ids::kCmdExit, "E&xit");
  qelta::MenuModel com;
  for (int n = 1; n <= 8; ++n) com.AddItem(ids::kCmdCom1 + n - 1, "COM" + std::to_string(n));
  com.AddSeparator();
  com.AddItem(ids::kCmdLinkSettings, "Link settings...");
  qelta::MenuModel base;
  base.AddItem(ids::kCmdViewBaseStations, "View base stations");
  base.AddItem(ids::kCmdClearBaseStations, "Clear list");
  base.AddSeparator();
  base.AddItem(ids::kCmdInventory, "Inventory...");
  return {{"&File", file}, {"COM port", com}, {"Base station", base}};
}

void CQeltaConfigView::RegisterShellCommands() {
  SetCommandHandler(ids::kCmdOpenConfigFile, [this] { OpenConfigurationFile(); });
  SetCommandHandler(ids::kCmdAbout, [this] { ShowAbout(); });
  SetCommandHandler(ids::kCmdExit, [this] { CloseProgram(); });
  SetCommandHandler(ids::kCloseButton, [this] { CloseProgram(); });
  SetCommandHandler(ids::kCmdWeb, [this] { OpenWebPage(); });
  SetCommandHandler(ids::kCmdLinkSettings, [this] { ShowLinkSettings(*link_, ui_, store_); });
  for (int n = 1; n <= 8; ++n)
    SetCommandHandler(ids::kCmdCom1 + n - 1, [this, n] { SelectComPort(n); });
}

// --- Start-up ----------------------------------------------------------------------------------

void CQeltaConfigView::InitialiseForm() {
  programDir = ChooseWorkingFolder(*files_, env_.workingFolder);
  if (programDir.empty()) {
    programDir = CurrentDirectory();
    if (programDir.empty() || programDir.back() != '/') programDir += '/';
  }
  if (env_.changeDirectory && chdir(programDir.c_str()) != 0) {
    // Staying in the current folder still lets the program work; its files land there.
    programDir = CurrentDirectory() + "/";
  }
  log_.SetFolder(programDir);
  if (!logAttached_) {
    log_.Attach(list_);
    logAttached_ = true;
  }

  // The link control comes with the window, its persistent properties with it.
  {
    SettingsPropertyBag bag(store_);
    link_->LoadProperties(bag);
  }

  LoadSettings();

  listShowsBaseStations = false;
  selectedBaseStation = nullptr;
  deviceMenuEnabled = false;

  ui_.StartTimer(ids::kStartTimer, ids::kStartTimerMs, [this] { OnStartTimer(); });
  pendingBoot = 0;

  startDir = CurrentDirectory();

  {
    CSettingsKey key(store_, ui_);
    key.Open();
    comPort = key.ReadNumber("ComPort", 1);
  }
  UpdateComPortChecks();
  ApplyComDevices();

  controls_.SetReadOnly(ids::kCommIdField, false);
  controls_.SetVisible(ids::kSetNewCommIdButton, true);
  formReady = 1;

  ApplyModeLayout();

  // A second initialisation (a document dropped on the window) builds the menus afresh.
  singleStationMenu.Clear();
  multiStationMenu.Clear();
  deviceMenu.Clear();
  if (hooks_.buildContextMenus) hooks_.buildContextMenus(*this);

  int32_t commId;
  {
    CSettingsKey key(store_, ui_);
    key.Open();
    commId = key.ReadNumber("CommID", 10000);
  }
  SetControlText(ids::kCommIdField, std::to_string(commId));
  offeredCommId = static_cast<uint32_t>(commId);
}

void CQeltaConfigView::OnStartTimer() {
  ui_.StopTimer(ids::kStartTimer);
  if (pendingBoot && hooks_.bootStep) hooks_.bootStep(*this);
}

void CQeltaConfigView::LoadSettings() {
  settingsPath = kDefaultSettingsPath;
  ethUser = kDefaultEthUser;
  ethPassword = kDefaultEthPassword;
  uiService = 0;
  verifyWrites = 0;
  writeChangedOnly = 0;

  DeriveBrowserCommand();

  int e = store_.Create();
  if (e != 0) {
    Message("Cannot create registry key for configurator.\nError: " + std::to_string(e),
            "Registry error");
    return;
  }

  SettingsDocument doc;
  e = store_.Open(doc);
  int lastError = e;
  if (e == 0 && doc.Damaged()) {
    e = SettingsStore::kDamagedError;
    lastError = 0;
  }
  if (e != 0) {
    Message("Configurator registry error: " + std::to_string(e) + ", " + std::to_string(lastError),
            "Error");
  } else {
    discoveryIntervalMs = 500;

    std::optional<std::string> path = ReadTextValue(doc, "GetSettingsPath", kSettingsPathBytes);
    if (!path) {
      StoreSettingsPath();
    } else if (path->empty()) {
      settingsPath = kDefaultSettingsPath;
      StoreSettingsPath();
      Message("GetSettingsPath was set to default (\"c:\\\")", "Get settings path",
              MessageButtons::Ok, MessageIcon::None);
    } else {
      settingsPath = *path;
    }

    std::optional<std::string> user = ReadTextValue(doc, "EthUsernameDigiME", kEthUserBytes);
    if (!user) {
      StoreEthUser();
    } else if (user->empty()) {
      ethUser = kDefaultEthUser;
      StoreEthUser();
      Message("Ethernet username was set to default.", "Username info", MessageButtons::Ok,
              MessageIcon::None);
    } else {
      ethUser = *user;
    }

    std::optional<std::string> password =
        ReadTextValue(doc, "EthPasswordDigiME", kEthPasswordBytes);
    if (!password) {
      StoreEthPassword();
    } else if (password->empty()) {
      ethPassword = kDefaultEthPassword;
      StoreEthPassword();
      Message("Ethernet password was set to default.", "Password info", MessageButtons::Ok,
              MessageIcon::None);
    } else {
      ethPassword = *password;
    }

    if (std::optional<uint32_t> v = ReadNumberValue(doc, "IgnoreNetTempIP")) {
      ignoreTempAddresses = *v != 0 ? 1 : 0;
    } else {
      ignoreTempAddresses = 0;
      StoreIgnoreNetTempIP();
    }

    // Both modes are read before either is stored: storing the modes writes both values, and a
    // missing "UIService" must not overwrite a "UIProduction" that is there.
    const std::optional<uint32_t> service = ReadNumberValue(doc, "UIService");
    const std::optional<uint32_t> production = ReadNumberValue(doc, "UIProduction");
    uiService = service && *service != 0 ? 1 : 0;
    uiProduction = production && *production != 0 ? 1 : 0;
    if (!service || !production) StoreUIModes();

    // Checked writes of "Set" are chosen in the settings file only (default off).
    verifyWrites = ReadNumberValue(doc, "VerifyWrites").value_or(0) != 0 ? 1 : 0;
    writeChangedOnly = ReadNumberValue(doc, "WriteChangedOnly").value_or(0) != 0 ? 1 : 0;
  }

  if (hooks_.loadReadoutList) hooks_.loadReadoutList(*this);
}

void CQeltaConfigView::ApplyModeLayout() {
  int32_t t;
  {
    CSettingsKey key(store_, ui_);
    key.Open();
    const int32_t stored = key.ReadNumber("LastRadioUsed", 1);
    t = stored <= 0 || stored > 3 ? 1 : stored;
    // Only a value out of range is written back: rewriting a good one could undo the choice
    // another program made meanwhile.
    if (t != stored) key.WriteNumber("LastRadioUsed", t);
  }
  if (uiProduction) {
    controls_.SetChecked(ids::kRadioType1, t == 1);
    controls_.SetChecked(ids::kRadioType2, t == 2);
    controls_.SetChecked(ids::kRadioType3, t == 3);
  }
  bool production = uiProduction != 0;
  for (int id : {ids::kRadioType1, ids::kRadioType2, ids::kRadioType3, ids::kRadioTypeGroup})
    controls_.SetVisible(id, production);
  bool commIds = uiService != 0 || uiProduction != 0;
  for (int id : {ids::kNextCommIdLabel, ids::kNextCommIdButton, ids::kSetNewCommIdButton,
                 ids::kCommIdField, ids::kCommIdGroup, ids::kCommIdLabel})
    controls_.SetVisible(id, commIds);
}

void CQeltaConfigView::DeriveBrowserCommand() {
  browserCommand.clear();
  browserArgs.clear();
  if (!env_.lookUpBrowser) return;
  HttpHandlerAnswer answer = lookup_->Query();
  if (answer.associationError != 0) {
    Message("Default browser open error: " + std::to_string(answer.associationError) + ", " +
                std::to_string(answer.associationError),
            "Error");
    return;
  }
  std::vector<std::string> args;
  int valueError = answer.valueError;
  if (valueError == 0) {
    // The value must fit the 1000-byte buffer with its terminating zero.
    if (answer.command.size() + 1 > kBrowserCommandBytes)
      valueError = E2BIG;
    else
      args = SplitExecLine(answer.command);
    if (valueError == 0 && args.empty()) valueError = ENODATA;
  }
  if (valueError != 0) {
    Message("Default string value query error: " + std::to_string(valueError) + ", " +
                std::to_string(valueError),
            "Error");
    browserCommand = kBrowserFallback;
    return;
  }
  browserCommand = args[0];
  browserArgs.assign(args.begin() + 1, args.end());
}

qelta::network::DiscoveryHooks CQeltaConfigView::DirectoryHooks() {
  // What discovery shows goes to this form: its rows (the silent stations), its status text and
  // its error boxes; it reads the list's flags.
  std::weak_ptr<qelta::network::StationDirectory> weak = directory_;
  qelta::network::DiscoveryHooks hooks;
  // The label belongs to the form's thread: the text travels there.
  qelta::UiPort* ui = &ui_;
  hooks.statusText = [this, ui, weak](const std::string& text) {
    ui->PostToFormThread([this, weak, text] {
      if (weak.lock()) controls_.SetText(ids::kDiscoveryStatusLabel, text);
    });
  };
  hooks.addRow = [this](const std::string& a, const std::string& b, int image) {
    return AddOutputRow(a, b, image);
  };
  hooks.setRowText = [this](int row, int column, const std::string& text) {
    list_.SetText(row, column, text);
  };
  hooks.errorBox = [this](const std::string& caption, const std::string& text) {
    Message(text, caption, MessageButtons::Ok, MessageIcon::Error);
  };
  hooks.listShowsBaseStations = [this] { return listShowsBaseStations.load(); };
  hooks.ignoreTempAddresses = [this] { return ignoreTempAddresses.load() != 0; };
  return hooks;
}

void CQeltaConfigView::OpenDocument(const std::string& path) { SetDocumentTitle(path); }

void CQeltaConfigView::SetDocumentTitle(const std::string& title) {
  controls_.SetText(ids::kWindow, "QeltaConfig - " + title);
}

// --- Stores ------------------------------------------------------------------------------------

namespace {

// Stores one value under the settings lock: 0 or errno.
int StoreValue(SettingsStore& store, const std::string& name, SettingValue value) {
  return store.Update([&](SettingsDocument& doc) {
    doc.Set(name, value);
    return true;
  });
}

SettingValue Text(const std::string& text) { return SettingValue{SettingKind::Text, text, 0}; }
SettingValue Number(bool on) { return SettingValue{SettingKind::Number, {}, on ? 1u : 0u}; }

}  // namespace

void CQeltaConfigView::StoreSettingsPath() {
  StoreValue(store_, "GetSettingsPath", Text(settingsPath));
}

void CQeltaConfigView::StoreEthUser() {
  if (int e = StoreValue(store_, "EthUsernameDigiME", Text(ethUser))) {
    ethUser = kDefaultEthUser;
    Message("Could not store \"EthUsernameDigiME\", error: " + std::to_string(e) + ".", "Error");
  }
}

void CQeltaConfigView::StoreEthPassword() {
  if (int e = StoreValue(store_, "EthPasswordDigiME", Text(ethPassword))) {
    ethPassword = kDefaultEthPassword;
    Message("Could not store \"EthPasswordDigiME\", error: " + std::to_string(e) + ".", "Error");
  }
}

void CQeltaConfigView::StoreIgnoreNetTempIP() {
  if (int e = StoreValue(store_, "IgnoreNetTempIP", Number(ignoreTempAddresses != 0)))
    Message("Could not store \"IgnoreNetTempIP\", error: " + std::to_string(e) + ".", "Error");
}

void CQeltaConfigView::StoreUIModes() {
  if (int e = StoreValue(store_, "UIService", Number(uiService != 0)))
    Message("Could not store \"UIService\", error: " + std::to_string(e) + ".", "Error");
  if (int e = StoreValue(store_, "UIProduction", Number(uiProduction != 0)))
    Message("Could not store \"UIProduction\", error: " + std::to_string(e) + ".", "Error");
}

// --- Commands ----------------------------------------------------------------------------------

void CQeltaConfigView::SelectComPort(int n) {
  if (n < 1 || n > 8) return;
  comPort = n;
  CSettingsKey key(store_, ui_);
  key.Open();
  key.WriteNumber("ComPort", n);
  UpdateComPortChecks();
}

void CQeltaConfigView::UpdateComPortChecks() {
  for (int n = 1; n <= 8; ++n) controls_.SetChecked(ids::kCmdCom1 + n - 1, comPort == n);
}

int CQeltaConfigView::SetComDevice(int n, const std::string& devicePath) {
  if (n < 1 || n > 32767) return EINVAL;
  if (devicePath.find('\0') != std::string::npos || devicePath.size() >= CSettingsKey::kTextBuffer)
    return EINVAL;
  std::string name = kComDevicePrefix + std::to_string(n);
  const int e = store_.Update([&](SettingsDocument& doc) {
    if (devicePath.empty()) return doc.Remove(name);
    doc.Set(name, SettingValue{SettingKind::Text, devicePath, 0});
    return true;
  });
  if (e == 0) link_->SetComPortPath(static_cast<int16_t>(n), devicePath);
  return e;
}

void CQeltaConfigView::ApplyComDevices() {
  SettingsDocument doc;
  if (store_.Open(doc) != 0) return;
  const std::string prefix = kComDevicePrefix;
  for (const std::string& name : doc.Names()) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 5) continue;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = name.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
    int n = std::stoi(digits);
    if (n < 1 || n > 32767) continue;
    if (std::optional<std::string> path = ReadTextValue(doc, name, CSettingsKey::kTextBuffer))
      link_->SetComPortPath(static_cast<int16_t>(n), *path);
  }
}

void CQeltaConfigView::OpenConfigurationFile() {
  qelta::FileDialogRequest request;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.filter = "QeltaC Files (*.pcg)";
  request.hideReadOnly = true;
  std::optional<std::string> path = ui_.FileDialog(request);
  if (!path || path->empty()) return;
  configFilePath = *path;
  controls_.SetText(ids::kFileNameLabel, BaseName(*path));
  SetDocumentTitle(*path);
  controls_.SetEnabled(ids::kEditWithNotepadButton, true);
  controls_.SetEnabled(ids::kSetConfigButton, true);
}

void CQeltaConfigView::OpenWebPage() {
  if (list_.SelectedCount() != 1) return;
  int mark = list_.SelectionMark();
  if (!list_.ValidRow(mark) || !list_.Row(mark).item) return;
  if (browserCommand.empty()) {
    Message("It appears that the default web browser was not found.\nDo you wish to look for it?",
            "Browser", MessageButtons::OkCancel, MessageIcon::Question);
    return;
  }
  if (!hooks_.addressTextOf) return;
  std::string address = hooks_.addressTextOf(*list_.Row(mark).item);
  std::string url = "http://" + address;
  std::string commandLine = browserCommand + " " + url;
  qelta::ProcessRequest request;
  request.argv.push_back(browserCommand);
  request.argv.insert(request.argv.end(), browserArgs.begin(), browserArgs.end());
  request.argv.push_back(url);
  request.workingDir = "/";
  if (int e = ui_.StartProcess(request))
    Message(
        "Process creation error " + std::to_string(e) + ":\n " + browserCommand + " " + commandLine,
        "Error");
}

void CQeltaConfigView::ShowAbout() {
  qelta::DialogModel about;
  about.name = "CAboutDlg";
  about.title = "About QeltaConfig";
  about.cancelText.clear();
  auto label = [&about](const std::string& name, const std::string& text) {
    qelta::DialogField field;
    field.name = name;
    field.kind = qelta::FieldKind::Label;
    field.value = text;
    about.Add(std::move(field));
  };
  label("version", kVersionText);
  label("curl", "This program uses parts of the cURL library.");
  label("xml", "It also uses parts of a simple XML parser.");
  ui_.RunDialog(about);
}

void CQeltaConfigView::CloseProgram() { closeRequested_ = true; }

// --- Output list, controls, routing -------------------------------------------------------------

int CQeltaConfigView::AddOutputRow(const std::string& name, const std::string& value, int image) {
  return AddOutputRow(name, value, image, qelta::KindOfImage(image));
}

int CQeltaConfigView::AddOutputRow(const std::string& name, const std::string& value, int image,
                                   qelta::RowKind kind) {
  int row = list_.AddRow(name, value, image, kind);
  ui_.KeepPainting();
  return row;
}

void CQeltaConfigView::SetControlText(int id, const std::string& text) {
  controls_.SetText(id, text);
  auto it = changeHandlers_.find(id);
  if (it != changeHandlers_.end() && it->second) it->second();
}

void CQeltaConfigView::SetCommandHandler(int id, CommandHandler handler) {
  if (handler)
    commands_[id] = std::move(handler);
  else
    commands_.erase(id);
}

bool CQeltaConfigView::RunCommand(int id) {
  auto it = commands_.find(id);
  if (it == commands_.end()) return false;
  // Copy: a handler may replace itself while it runs.
  CommandHandler handler = it->second;
  handler();
  return true;
}

void CQeltaConfigView::SetChangeHandler(int controlId, CommandHandler handler) {
  if (handler)
    changeHandlers_[controlId] = std::move(handler);
  else
    changeHandlers_.erase(controlId);
}

void CQeltaConfigView::OnListClick() {
  if (hooks_.onListClick) hooks_.onListClick(*this);
}

void CQeltaConfigView::OnListRightClick(int x, int y) {
  if (hooks_.onListRightClick) hooks_.onListRightClick(*this, x, y);
}

MessageAnswer CQeltaConfigView::Message(const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
  return ui_.MessageBox(text, caption, buttons, icon);
}
