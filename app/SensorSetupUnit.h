// The set-up dialog: edits the sensor set-up that the device model holds in
// its two images, in place. Every edit goes straight into the images; the
// dialog keeps no copy and checks nothing when it closes. The main window
// sends both images after "Ok" and puts its own copies back otherwise.
//
// Pages (chosen through the navigation tree on the left):
// - "Sensor Info": sensor name, identity, memory, memory wrap;
// - a channel: unit, unit name, precision, data variation and the page of the
//   channel's unit family (SensorSetupUnit_Channel.cpp);
// - "Channels": the monitor selection; "Modbus Registers": the Modbus
//   selection and its register numbers (SensorSetupUnit_Monitor.cpp);
// - "Schedules" and a schedule: the schedule pages (see the marked section
//   below).
//
// Handlers of controls are slots named after control and event. Every change
// and click handler returns at once while Updating is set, so filling the
// controls writes nothing.
#pragma once

#include "Forms.h"
#include "SensorImages.h"
#include "SensorStatus.h"

#include <QChar>
#include <QRect>

#include <map>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class QTreeWidgetItem;
class TCSpinEdit;
class TCheckListBox;
class TMemo;
class TRadioGroup;
class TSensor_Quarn;
class TStringGrid;
class TTreeView;

class TSensorSetupForm : public TForm {
    Q_OBJECT
public:
    // `owner` is the main window; the pointers are the device model's images,
    // status block and the device model itself, none owned by the dialog.
    TSensorSetupForm(QWidget* owner, ConfigurationData* Conf, CalibrationData* Cal, SensorStatusData* Status,
                     TSensor_Quarn* Sensor);

    // --- the images and the records the pages edit -----------------------
    ConfigurationData* Conf = nullptr;
    CalibrationData* Cal = nullptr;
    SensorStatusData* Status = nullptr; // read only
    TSensor_Quarn* Sensor = nullptr;
    int ChannelIndex = -1; // channel record the channel page edits; -1 none
    int ScheduleIndex = 0; // schedule record the schedule pages edit; 0 none
    bool Updating = false; // the dialog is filling its own controls
    QTreeWidgetItem* RootNode = nullptr;
    QTreeWidgetItem* ChannelsNode = nullptr;
    QTreeWidgetItem* SchedulesNode = nullptr;
    QTreeWidgetItem* ModbusNode = nullptr;

    // --- frame -----------------------------------------------------------
    QPushButton* SSOkBtn = nullptr;
    QPushButton* SSCancelBtn = nullptr;
    TTreeView* Treeview = nullptr;
    QMenu* TreeViewPopupMenu = nullptr;
    QAction* AddSchedule = nullptr;
    QAction* DeleteSchedule = nullptr;
    QAction* RenameSchedule = nullptr;
    QAction* RenameChannel = nullptr;
    QStackedWidget* PropertiesPageControl = nullptr;
    QWidget* SS_InfoTab = nullptr;
    QWidget* SS_ChannelsTab = nullptr;
    QWidget* SS_SchedulesTab = nullptr;
    QWidget* SS_MonitorChannelsTab = nullptr;
    QWidget* SS_ScheduleOverviewTab = nullptr;
    QWidget* SS_ModbusTab = nullptr;

    // --- "Sensor Info" ----------------------------------------------------
    QLineEdit* SensorNameEdit = nullptr;
    QLineEdit* SS_SensorIDEdit = nullptr;
    QLineEdit* SS_FirmwareVersionEdit = nullptr;
    QLineEdit* SS_FactoryCalDateEdit = nullptr;
    QLineEdit* MemoryCapacityEdit = nullptr;
    QLineEdit* SS_MemoryUsedEdit = nullptr;
    QCheckBox* SS_MemoryWrapCheckBox = nullptr;

    // --- channel page -------------------------------------------------------
    QWidget* Chan_Panel = nullptr;
    QLineEdit* Chan_ChanNameEdfit = nullptr;
    QComboBox* Chan_UnitTypeComboBox = nullptr;
    QLineEdit* Chan_UnitNameEdit = nullptr;
    TCSpinEdit* Chan_PresisionEdit = nullptr;
    QCheckBox* Chan_DataVariationCheckBox = nullptr;
    QLineEdit* Chan_DataVariationValueEdit = nullptr;
    QStackedWidget* ChannelsPageControl = nullptr;
    QWidget* BatteryTab = nullptr;
    QWidget* PressureTab = nullptr;
    QWidget* DOppmTab = nullptr;
    QWidget* DOmglTab = nullptr;
    QWidget* TDSTab = nullptr;
    QWidget* TSSTab = nullptr;
    QWidget* TurbidityTab = nullptr;
    QWidget* UD1Tab = nullptr;
    QWidget* UD2Tab = nullptr;
    TRadioGroup* Chan_BatteryRadioGroup = nullptr;
    QCheckBox* DensityCheckBox = nullptr;
    QLineEdit* DensityConversionEdit = nullptr;
    QPushButton* DensityConversionDefaulBtn = nullptr;
    TMemo* PressureMemo = nullptr;
    QLineEdit* DO_PPM_BPEdit = nullptr;
    QPushButton* DO_PPM_BAromatricPressureDefaultBtn = nullptr;
    QLineEdit* DO_MGL_BPEdit = nullptr;
    QPushButton* Button2 = nullptr;
    QLineEdit* DO_MGL_ECEdit = nullptr;
    QPushButton* Button3 = nullptr;
    QLineEdit* TDS_ConversionFactor = nullptr;
    QPushButton* TDS_Btn = nullptr;
    QLineEdit* TSS_ConversionFactor = nullptr;
    QPushButton* TSS_DefaultBtn = nullptr;
    QRadioButton* Chan_Turbidity_WipeCountGB = nullptr;
    QRadioButton* Chan_Turbidity_WipeIntervalGB = nullptr;
    TCSpinEdit* Chan_TurbidityEditBox = nullptr;
    QPushButton* Chan_WipeNowBtn = nullptr;

    // --- Monitor and Modbus pages -----------------------------------------
    TCheckListBox* MonitorCheckListBox = nullptr;
    TMemo* MonitorWarningMemo = nullptr;
    TCheckListBox* ModBusCheckListBox = nullptr;
    TMemo* ModbusWarningMemo = nullptr;
    QPushButton* ModbusRegisterButton = nullptr;
    TStringGrid* ModBusRegisterStringGrid = nullptr;

    // --- containers of the schedule pages (their contents: see below) -----
    // Made by the frame, laid out by BuildSchedulePages unless said here:
    // SS_SchedulesTab is filled by Sched_Panel; ScheduleSettingsPanel (a
    // child of Sched_Panel) is filled by SchedulePageControl; the four tabs,
    // the pages of TriggerPageControl and StopPageControl, AvgPanel and
    // SS_ScheduleOverviewTab have no layout yet.
    QWidget* Sched_Panel = nullptr;
    QWidget* ScheduleSettingsPanel = nullptr;
    QTabWidget* SchedulePageControl = nullptr;
    QWidget* SchedulesLoggingTab = nullptr;   // "Logging Settings"
    QWidget* StartMethodTab = nullptr;        // "Start Method"
    QWidget* StopMethodTab = nullptr;         // "Stop Method"
    QWidget* SchedulesAveragingTab = nullptr; // "Averaging"
    QStackedWidget* TriggerPageControl = nullptr; // on StartMethodTab, not yet laid out
    QWidget* TriggerTimeTab = nullptr;            // "Time"
    QWidget* TriggerSimpleTab = nullptr;          // "Simple"
    QStackedWidget* StopPageControl = nullptr;    // on StopMethodTab, not yet laid out
    QWidget* StopTimeTab = nullptr;
    QWidget* StopSimpleTab = nullptr;
    QFrame* AvgPanel = nullptr;                // on SchedulesAveragingTab, not yet laid out
    QLabel* AveragingWarningLabel = nullptr;   // on SchedulesAveragingTab, red, not yet laid out

    // --- shared operations --------------------------------------------------
    // Rebuilds the tree from the images: the sensor name, "Channels" with the
    // enabled channels, "Schedules" with records 1 to ScheduleCount - 1,
    // "Modbus Registers"; all expanded, nothing selected. ChannelIndex and
    // ScheduleIndex become 0.
    void BuildTree();
    // BuildTree, then selects again (without a change notice) the node of
    // the page still shown: the channel or schedule record it edits, with its
    // index restored, or the page's own node. When that record has no node
    // any more, "Sensor Info" is shown instead. So no edit on a visible page
    // can reach record 0 after a rebuild.
    void RebuildTree();
    // First of the 36 channel records (7 schedule records) named `name`; 0
    // when none is.
    int FindChannelByName(const std::string& name) const;
    int FindScheduleByName(const std::string& name) const;
    // Asks for a name of at most maxLength - 1 characters; false when the
    // user cancels or leaves it empty.
    bool QueryName(const QString& prompt, int maxLength, QString& text);
    // Shows `page` of PropertiesPageControl (its show handler runs when it
    // was not the page shown).
    void ShowPage(QWidget* page);

    // The node of the tree that names `text` under `parent`; nullptr if none.
    QTreeWidgetItem* FindNode(QTreeWidgetItem* parent, const QString& text) const;

    // Key filters: the handler sees each typed character of `control` before
    // the control does and discards it by setting it to 0. Keys that type no
    // character (arrows, Delete, Tab, Escape) do not reach it; pasted and
    // dropped text is held to the handler's rule (KeyFilter.h).
    using TKeyPressHandler = void (TSensorSetupForm::*)(QObject* Sender, QChar& Key);
    void SetKeyFilter(QWidget* control, TKeyPressHandler handler);

    // Moves the focus on, as Enter does in the edits that allow it.
    void FocusNext();

public slots:
    // --- frame (SensorSetupUnit.cpp) ---------------------------------------
    void TreeviewChange(QObject* Sender, QTreeWidgetItem* Node);
    void TreeViewPopupMenuPopup(const QPoint& pos);

public:
    void TreeviewCollapsing(QObject* Sender, QTreeWidgetItem* Node, bool& AllowCollapse);
    // Shared key filters: digits (with backspace and character 12) only;
    // those and one "." (Enter dropped); those and one "." with Enter moving
    // on (all keys pass while Updating).
    void Chan_PresisionEditKeyPress(QObject* Sender, QChar& Key);
    void Chan_DataVariationValueEditKeyPress(QObject* Sender, QChar& Key);
    void TriggerSetPointValueEditKeyPress(QObject* Sender, QChar& Key);

    // --- channel page and sensor name (SensorSetupUnit_Channel.cpp) -------
    void ShowChannel();
    void ShowChannelKindPage();
    void Chan_UnitNameEditKeyPress(QObject* Sender, QChar& Key);
    void SensorNameEditKeyPress(QObject* Sender, QChar& Key);
    // Their rules for one character going into `text` (Enter aside).
    static bool UnitNameKey(const QString& text, QChar key);
    static bool SensorNameKey(const QString& text, QChar key);
    // Typing stops at this many characters; a longer name from the image
    // is shown and kept whole.
    static constexpr int SensorNameTypingLimit = 19;

public slots:
    void Chan_PresisionEditChange();
    void Chan_DataVariationCheckBoxClick();
    void Chan_DataVariationValueEditChange();
    void Chan_UnitTypeComboBoxChange();
    void Chan_UnitNameEditChange();
    void Chan_BatteryRadioGroupClick();
    void Chan_Turbidity_WipeCountGBClick(QObject* Sender);
    void Chan_TurbidityEditBoxChange();
    void Chan_WipeNowBtnClick();
    void DensityCheckBoxClick();
    void DensityConversionEditChange();
    void DensityConversionDefaulBtnClick();
    void DO_PPM_BPEditChange();
    void DO_PPM_BAromatricPressureDefaultBtnClick();
    void DO_MGL_BPEditChange();
    void Button2Click();
    void DO_MGL_ECEditChange();
    void Button3Click();
    void TDS_ConversionFactorChange();
    void TDS_BtnClick();
    void TSS_ConversionFactorChange();
    void TSS_DefaultBtnClick();
    void RenameChannelClick();
    void SensorNameEditChange();

public:
    // True when no channel record (enabled or not, the one shown included)
    // is named `name`.
    bool IsChannelNameUnique(const std::string& name) const;

public slots:
    // --- Monitor and Modbus pages, memory wrap (SensorSetupUnit_Monitor.cpp)
    // The selections are stored whenever the user changes a check (by mouse
    // or keyboard).
    void SS_MonitorChannelsTabShow();
    void SS_ModbusTabShow();
    void MonitorCheckListBoxClick();
    void ModBusCheckListBoxClickCheck();
    void ModbusRegisterButtonClick();
    void SS_MemoryWrapCheckBoxClick();

private:
    // Sets a flag (Updating) for a block and restores what it was however
    // the block ends.
    struct UpdatingScope {
        explicit UpdatingScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
        ~UpdatingScope() { flag_ = saved_; }
        bool& flag_;
        bool saved_;
    };

    void BuildFrame();
    // A page named `name`, added to `pages`.
    static QWidget* AddPage(QStackedWidget* pages, const char* name);
    // Lays `child` over the whole of `parent`, edge to edge.
    static void FillWith(QWidget* parent, QWidget* child);
    void BuildInfoPage();
    void BuildChannelPage();
    void BuildMonitorPages();
    void BuildScheduleContainers();
    void FillInfoPage();
    void PageChanged();

    // Channel page helpers (SensorSetupUnit_Channel.cpp).
    bool ChannelSelected() const { return ChannelIndex >= 0 && ChannelIndex < ImageChannelCount; }
    // Compensation record `role` of the shown channel when the image holds
    // it; -1 (after saying so) when it does not.
    int ChannelCompensation(int role);
    void StoreFactor(QLineEdit* edit, int role, int coeff);
    // Whether records 0 and 1 are the external and internal battery voltage
    // channels, between which the battery page switches.
    bool BatteryPairPresent() const;
    // The whole number a spin edit holds, when it lies in its limits;
    // otherwise `message` is shown and the spin shows `stored` again.
    bool SpinNumber(TCSpinEdit* spin, int stored, const QString& message, int& value);
    // The number an edit holds, kept to what a 32-bit float can hold; raises
    // the platform's conversion error for text that is no number.
    double EditNumber(QLineEdit* edit);
    QLabel* dataVariationLabel_ = nullptr;
    QWidget* densityRow_ = nullptr;

    // Monitor and Modbus helpers (SensorSetupUnit_Monitor.cpp).
    // The enabled channels, those of `selection` checked (`freePlace` marks
    // its free places); no check reaches the handlers.
    void FillChannelCheckList(TCheckListBox* list, const ScheduleSetupData& selection, uint8_t freePlace);
    void ShowModbusWarnings(TMemo* memo);
    void StoreMonitorSelection();
    void StoreModbusSelection();

    QWidget* shownPage_ = nullptr;

    // =====================================================================
    // Schedule pages: schedules, start and stop methods and triggers, and the
    // schedule overview. Built in SensorSetupUnit_Schedules.cpp,
    // SensorSetupUnit_Triggers.cpp and SensorSetupUnit_Overview.cpp. The
    // frame calls these hooks; their controls and handlers are declared in
    // this section.
    // =====================================================================
public:
    // Constructor, after the containers above exist and before any page is
    // filled: creates the controls of Sched_Panel, of the four tabs of
    // SchedulePageControl (laying out TriggerPageControl, StopPageControl,
    // AvgPanel and AveragingWarningLabel there), of the pages of
    // TriggerPageControl and StopPageControl and of SS_ScheduleOverviewTab,
    // and connects their handlers.
    void BuildSchedulePages();
    // TreeviewChange, with Updating set: fills the schedule pages for
    // schedule record `record`.
    void ShowSchedule(int record);

    // --- schedules page controls (SensorSetupUnit_Schedules.cpp) -----------
    // (Qt classes named here with `class` need no declaration above.)
    QCheckBox* ScheduleEnabledCheckBox = nullptr;
    QLineEdit* ScheduleNameEditBox = nullptr;           // read only
    class QListWidget* Schedule_ChannelListBox = nullptr; // sorted; takes channels dropped from the tree
    QMenu* ChannelListPopupMenu = nullptr;
    QAction* DeleteChannel1 = nullptr;                  // "Remove channel"
    QComboBox* SchedulesScanTimeComboBox = nullptr;
    QComboBox* SchedulesRecordTimeComboBox = nullptr;
    QCheckBox* MaxScanCheckBox = nullptr;
    QLineEdit* MaxScansEdit = nullptr;
    QLabel* MaxScansNote = nullptr;                     // why a typed maximum was not taken
    QCheckBox* ScheduleAvgCheckBox = nullptr;
    TCSpinEdit* ScheduleAvgNumberEditBox = nullptr;
    TCSpinEdit* ScheduleAvgIntervalEditBox = nullptr;

    // --- start and stop method controls (SensorSetupUnit_Triggers.cpp) -----
    TRadioGroup* StartMethodRadioGroup = nullptr; // "Time", "Simple trigger"
    TRadioGroup* StopMethodRadioGroup = nullptr;
    class QDateEdit* StartMethodDatePicker = nullptr;
    class QTimeEdit* StartMethodTimePicker = nullptr;
    QDateEdit* StopMethodDatePicker = nullptr;
    QTimeEdit* StopMethodTimePicker = nullptr;
    QComboBox* StartTriggerCB = nullptr;          // trigger channel
    QComboBox* StopTriggerCB = nullptr;
    QComboBox* StartTriggerCauseCB = nullptr;     // "RISING", "FALLING", "DATA VARIATION"
    QComboBox* StopTriggerCauseCB = nullptr;      // "RISING", "FALLING"
    QLineEdit* TriggerSetPointValueEdit = nullptr;
    QLineEdit* TriggerreEnableValueEdit = nullptr;
    QLineEdit* StopTriggerSetPointEdit = nullptr;
    QLineEdit* StopTriggerReEnableEdit = nullptr;
    QLabel* TriggerSetPointLabel = nullptr;       // "Set Point Value" or "Variation Value"
    QLabel* TriggerReEnableLabel = nullptr;
    QLabel* StopTriggerSetPointLabel = nullptr;
    QLabel* StopTriggerReEnableLabel = nullptr;
    QLabel* StartTriggerNote = nullptr;           // why a typed value was not taken
    QLabel* StopTriggerNote = nullptr;

    // --- schedule overview (SensorSetupUnit_Overview.cpp) ------------------
    TStringGrid* ScheduleOverviewGrid = nullptr;

    // --- the schedule time table (all times in 1/100 s) --------------------
    static constexpr int TimeTableCount = 28;
    // The entry's text when `value` is an entry's time, else "".
    static QString TimeToText(uint64_t value);
    // The entry's time when `text` is an entry's text exactly, else 0.
    static uint32_t TextToTime(const QString& text);
    // The first entry longer than `span`; 100 (one second) when none is.
    static uint32_t MinimumScanTime(uint64_t span);
    // The texts of the entries of at least `minimum`, in table order.
    static void FillScanTimeList(QComboBox* list, uint32_t minimum);
    // The texts of the entries that are whole multiples of `scan`; none for
    // a scan time of 0.
    static void FillRecordTimeList(QComboBox* list, uint32_t scan);
    // Position of the entry equal to `value`; TimeTableCount when none is.
    static int TimeTableIndex(uint64_t value);

    // Refills and selects both time lists from the shown record.
    void RefreshTimeLists();
    // The channel list's names, with the channels they depend on, into the
    // 25 places of record `record`.
    void StoreScheduleChannels(int record);
    // Drag over and drop on the schedule channel list: a drag of tree nodes
    // is taken, and the drop adds the channel whose node is selected.
    void Schedule_ChannelListBoxDragOver(QObject* Sender, const class QMimeData* Data, bool& Accept);
    void Schedule_ChannelListBoxDragDrop(QObject* Sender);

    // Fills the start (stop) tab from record r and its method entry.
    void ShowMethod(int r, bool stop);

public slots:
    void ScheduleEnabledCheckBoxClick();
    void DeleteChannel1Click();
    void SchedulesScanTimeComboBoxChange();
    void SchedulesRecordTimeComboBoxChange();
    void MaxScanCheckBoxClick();
    // The maximum typed (after each key the filter let through, or Delete).
    void MaxScansEditChange();
    void ScheduleAvgCheckBoxClick();
    void ScheduleAvgNumberEditBoxChange();
    void ScheduleAvgIntervalEditBoxChange();
    // SS_ScheduleOverviewTab became the page shown.
    void SS_ScheduleOverviewTabShow();
    // The "Averaging" tab became the tab shown.
    void SchedulesAveragingTabShow();
    // The tree menu's "Add Schedule", "Delete Schedule", "Rename Schedule".
    void AddScheduleClick();
    void DeleteScheduleClick();
    void RenameScheduleClick();

    // Start and stop methods (the handlers shared by several controls tell
    // them apart by the sender's name).
    void StartMethodRadioGroupClick();
    void StopMethodRadioGroupClick();
    void StartMethodDatePickerChange();
    void StopMethodDatePickerChange();
    void StartTriggerCBChange(QObject* Sender);
    void StartTriggerCauseCBChange();
    void StopTriggerCauseCBChange();
    void TriggerSetPointValueEditChange(QObject* Sender);

public:
    // Draws a cell of the schedule overview grid and of
    // ModBusRegisterStringGrid.
    void ScheduleOverviewGridDrawCell(TStringGrid* Sender, int ACol, int ARow, const QRect& Rect, bool Fixed,
                                      QPainter* Canvas);

private:
    void BuildSchedulesPage();
    void BuildMethodPages();
    void BuildOverviewPage();
    // The record the schedule pages edit, or nullptr when no user schedule
    // is shown.
    ScheduleSetupData* ShownSchedule();
    // Trigger entry (1..31) of the start or stop method of the shown record;
    // -1 when that method holds none.
    int MethodTrigger(bool stop) const;
    // Trigger entry t's set point, re-enable value and condition on the
    // start (stop) tab, with the labels that condition takes.
    void ShowTriggerValues(int t, bool stop);
    void MethodRadioGroupClick(bool stop);
    void ShowAveragingWarning();
    // Owns the event hooks of the schedule pages: they end with the dialog's
    // own members, before its controls are hidden and deleted.
    QObject scheduleHooks_;
};
