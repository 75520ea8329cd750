#include "Unit1.h"

#include "Application/ConsolePrint.h"
#include "Application/guicon.h"
#include "ArchiveFiles.h"
#include "ArchiveViewer/ArchiveViewerControl.h"
#include "BusStats/BusStatsWindow.h"
#include "DevSys/Catalogue.h"
#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"
#include "PortDoctor/PortDoctor.h"
#include "ProgramFiles.h"
#include "Records/RecordingControl.h"
#include "ScreenUpdates/RepaintPacer.h"
#include "TimingAdvisor/AdvisorWindow.h"
#include "Trends/TrendsControl.h"
#include "UserEntries/AddressEntries.h"
#include "ValueText.h"
#include "VCLUtils/DrawGridCell.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/PanelSplitter.h"
#include "VCLUtils/StringGrid.h"
#include "VCLUtils/WindowPlacement.h"
#include "VCLUtils/iniUtils_.h"
#include "uFormChanal.h"
#include "uFormOpros.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

TForm1* Form1 = nullptr;

namespace {

const char kCaption[] = "КАЛИСТ-8";

const char kConfigMainSection[] = "MAIN";
const char kAddressKey[] = "Адрес";
const char kStatusPanelSection[] = "STATUS_PANEL";
const char kColumnWidthSection[] = "ширина столбца";
const char kPlacementSection[] = "FORM1";
const char kEnableConsoleKey[] = "enable_console";

const int kDefaultAddress = 1;
const int kStatusPanelMinWidth = 50;
const int kStatusPanelMaxWidth = 2000;
const int kTitleColumnWidth = 350;
// The table was laid out on a 120-dpi screen, where its 23-pixel font is 14
// points and the values stand out in 16 points: 27 pixels. In points they
// would come out smaller than the rest on a 96-dpi screen.
const int kValueFontPixels = 27;

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
// The standard 3D light colour of Windows' default scheme.
const QColor kFixedCellColor(0xE3, 0xE3, 0xE3);

enum TableRow { RowChanal, RowScale, RowQuantity, RowUnit, RowValue, RowCount };
const char* const kRowTitles[RowCount] = {"Канал", "Шкала", "Измеряемая величина", "Единицы измерения",
                                          "Значение"};

// Engine state codes, as TReportStateSignal carries them.
enum ReportState { StateTaskBegins, StateTaskDone, StatePortConnecting, StateError, StateStarted, StateStopped };

// Set by a destructor that could not save, thrown by ThrowDestructionError.
PMyExcpt destructionError;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont PixelFont(const char* family, int pixels, bool bold = false)
{
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void SetTextColor(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}

QLabel* NewLabel(const char* name, const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(PixelFont("Arial", 23));
    SetTextColor(label, kBlack);
    return label;
}

// A panel with a raised inner and a lowered outer bevel: together they make
// the etched line of a sunken box.
QFrame* NewBevelPanel(const char* name, QWidget* parent)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    panel->setLineWidth(1);
    return panel;
}

QLabel* NewStatusPanel(const char* name, QWidget* parent)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setTextFormat(Qt::PlainText);
    panel->setFixedWidth(kStatusPanelMinWidth);
    return panel;
}

} // namespace

TForm1::TForm1(QWidget* owner) : QMainWindow(owner), address_(kDefaultAddress), statusPanels_{}
{
    CreateControls();
    // Every reading changes the table and the status texts: 25 repaints a
    // second at most are plenty for the eye, and the widgets change once
    // before each.
    pacer_ = new RepaintPacer(this, 40);
    pacer_->SetBeforeRepaint([this] { return ShowNextFrame(); });
    archiveViewer_ = new ArchiveViewerControl(this, N8, N6, &GetDataDir);
    recording_ = new RecordingControl(N8, N6, panelStatus, &GetDataDir);
    trends_ = new TrendsControl(this, N1);
    grdManager_.reset(new my::DrawGridCellManager(grd1, true));
    // Another address would be a broadcast nobody answers, and a zero
    // correction sent to it every instrument on the line would carry out.
    address_ = ReadIntInRange(GetConfigIni(), kConfigMainSection, kAddressKey, kMinAddress, kMaxAddress,
                              kDefaultAddress);
    TransferManagerT& engine = TransferManagerT::Instance();
    reportStateConnection_ = engine.ConnectReportState(*this, &TForm1::OnReportState);
    notifyTransmitionConnection_ = engine.ConnectNotifyTransmition(*this, &TForm1::OnNotifyTransmition);
    // Why the port does not open, and the fix, over the error panel.
    my::PortDoctor::SetAdviceShown([this](const std::string& advice) { Frame().panels[3].tip = advice; });
    setWindowTitle(QString::fromUtf8(kCaption));
    FormOpros = new TFormOpros(nullptr);
    Label8->setText(QString::number(address_.load()));
    ReadStatusPanelWidths();
    PrepareTable();
    ConnectGridManager();

    // Last: a task may reach the window from now on.
    DevTask::SetDeviceWindow(this);
}

TForm1::~TForm1()
{
    TransferManagerT::Instance().StopThread();
    DevTask::SetDeviceWindow(nullptr);
    my::PortDoctor::SetAdviceShown(nullptr);
    try {
        SaveSettings();
    } catch (...) {
        destructionError = CurrentExceptionToPMyExcpt(FILE_LINE);
    }
    delete FormOpros;
    FormOpros = nullptr;
    // Their close handlers would reach this window after it has gone.
    for (const auto& chanalForm : chanalForms_)
        delete chanalForm.second;
    chanalForms_.clear();
    notifyTransmitionConnection_.reset();
    reportStateConnection_.reset();
    grdManager_.reset();
}

void TForm1::ThrowDestructionError()
{
    if (!destructionError)
        return;
    const PMyExcpt e = destructionError;
    destructionError.reset();
    throw e;
}

void TForm1::CreateControls()
{
    setObjectName(QStringLiteral("Form1"));
    setFont(PixelFont("MS Sans Serif", 13));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    CreateMenus();
    auto* panels = new QVBoxLayout;
    panels->setContentsMargins(8, 8, 8, 8);
    panels->setSpacing(15);
    panels->addWidget(CreateTopBar());
    panels->addWidget(CreateTableFrame(), 1);
    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(panels, 1);
    column->addWidget(CreateStatusBar());
    setCentralWidget(client);
    move(206, 145);
    resize(988, 641 + MainMenu1->sizeHint().height());
}

void TForm1::CreateMenus()
{
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    const auto addMenu = [this](const char* name, const char* title) {
        QMenu* menu = MainMenu1->addMenu(QString::fromUtf8(title));
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    const auto addItem = [this](QMenu* menu, const char* name, const char* text, void (TForm1::*handler)()) {
        QAction* item = menu->addAction(QString::fromUtf8(text));
        item->setObjectName(QString::fromLatin1(name));
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    N8 = addMenu("N8", "Файл");
    N6 = addItem(N8, "N6", "Выход", &TForm1::N6Click);
    N4 = addMenu("N4", "Настройки");
    // The first three letters are Cyrillic, as the menu has always had them.
    N3 = addItem(N4, "N3", "СОМ порт...", &TForm1::N3Click);
    TimingAdvisor::AddMenuItem(N4, this);
    N1 = addMenu("N1", "Инструменты");
    N5 = addItem(N1, "N5", "Поиск по адресам...", &TForm1::N5Click);
    N9 = addItem(N1, "N9", "Корректировка нулевых показаний...", &TForm1::N9Click);
    N7 = addItem(N1, "N7", "Изменить адрес...", &TForm1::N7Click);
    N2 = addItem(N1, "N2", "Архив измерений...", &TForm1::N2Click);
    BusStats::AddMenuItem(N1, this);
    menuConsole = addItem(N1, "menuConsole", "Консоль", &TForm1::menuConsoleClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    menuShowDetail = addItem(PopupMenu1, "menuShowDetail", "Показать отдельно", &TForm1::menuShowDetailClick);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TForm1::PopupMenu1Popup);
}

QFrame* TForm1::CreateTopBar()
{
    Panel1 = NewBevelPanel("Panel1", this);
    Panel1->setFixedHeight(41);
    Label7 = NewLabel("Label7", "Адрес прибора:", Panel1);
    SetTextColor(Label7, kNavy);
    Label8 = NewLabel("Label8", "1", Panel1);
    Label2 = NewLabel("Label2", "Установка связи...", Panel1);
    Label11 = NewLabel("Label11", "...", Panel1);
    // Long activity texts are cut, they never widen the window.
    Label11->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label11->setMinimumWidth(0);
    Label8->setMinimumWidth(40 - 8);
    Label2->setMinimumWidth(224 - 8);

    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(8);
    row->addWidget(Label7);
    row->addWidget(Label8);
    row->addWidget(Label2);
    row->addWidget(Label11, 1);
    return Panel1;
}

QFrame* TForm1::CreateTableFrame()
{
    Panel2 = NewBevelPanel("Panel2", this);
    grd1 = new my::StringGrid(Panel2);
    grd1->setObjectName(QStringLiteral("grd1"));
    grd1->setFrameShape(QFrame::NoFrame);
    grd1->SetColor(Qt::white);
    grd1->SetFixedColor(kFixedCellColor);
    QFont font = PixelFont("Arial", 23);
    grd1->setFont(font);
    SetTextColor(grd1, kBlack);
    QPalette pal = grd1->palette();
    pal.setColor(QPalette::Text, kBlack);
    grd1->setPalette(pal);
    grd1->SetDefaultRowHeight(50);
    grd1->SetDefaultColWidth(5);
    grd1->SetFixedRows(1);
    grd1->SetFixedCols(0);
    grd1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grd1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(grd1->viewport()->mapToGlobal(pos)); });

    auto* box = new QVBoxLayout(Panel2);
    box->setContentsMargins(16, 16, 16, 16);
    box->addWidget(grd1);
    return Panel2;
}

QWidget* TForm1::CreateStatusBar()
{
    panelStatus = new QWidget(this);
    panelStatus->setObjectName(QStringLiteral("panelStatus"));
    panelStatus->setFixedHeight(21);
    // Panel widths stored on a larger monitor must not force the window
    // wider than this screen: the bar clips them instead.
    panelStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Panel9 = NewStatusPanel("Panel9", panelStatus);
    Panel10 = NewStatusPanel("Panel10", panelStatus);
    Panel11 = NewStatusPanel("Panel11", panelStatus);
    Panel12 = NewStatusPanel("Panel12", panelStatus);
    // The last panel takes what the others leave, whatever its own width.
    Panel12->setMinimumWidth(0);
    Panel12->setMaximumWidth(QWIDGETSIZE_MAX);
    Panel12->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Panel12->setFont(PixelFont("MS Sans Serif", 13, true));
    SetTextColor(Panel12, kRed);
    statusPanels_ = {Panel9, Panel10, Panel11, Panel12};

    auto* row = new QHBoxLayout(panelStatus);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const struct {
        const char* name;
        int width;
    } splitters[] = {{"Splitter2", 5}, {"Splitter3", 4}, {"Splitter4", 5}};
    for (unsigned i = 0; i < 3; ++i) {
        row->addWidget(statusPanels_[i]);
        auto* splitter = new my::PanelSplitter(statusPanels_[i], splitters[i].width, panelStatus);
        splitter->setObjectName(QString::fromLatin1(splitters[i].name));
        row->addWidget(splitter);
    }
    row->addWidget(Panel12, 1);
    return panelStatus;
}

// The last panel fills the rest of the bar, whatever width it has stored.
void TForm1::ReadStatusPanelWidths()
{
    for (unsigned i = 0; i + 1 < STATUS_PNLS_COUNT; ++i) {
        int width = kStatusPanelMinWidth;
        if (!TryReadIntInRange(GetForm1Ini(), kStatusPanelSection, std::to_string(i), kStatusPanelMinWidth,
                               kStatusPanelMaxWidth, width))
            width = kStatusPanelMinWidth;
        statusPanels_[i]->setFixedWidth(width);
    }
}

void TForm1::PrepareTable()
{
    grd1->SetColCount(1);
    grd1->SetRowCount(RowCount);
    for (int row = 0; row < RowCount; ++row)
        grd1->SetCell(0, row, QString::fromUtf8(kRowTitles[row]));
    grd1->SetColWidth(0, GetForm1Ini().ReadInteger(kColumnWidthSection, "0", kTitleColumnWidth));
}

void TForm1::ConnectGridManager()
{
    grdManager_->SetTextPositionHandler([](my::StringGrid&, int col, int row, unsigned, const QRect& rect,
                                           QPoint& textPos, QFont& font, QColor& textColor) {
        if (col == 0) {
            textColor = kNavy;
            textPos.setX(rect.left() + 10);
        } else if (row == RowValue) {
            textColor = kBlue;
            font.setPixelSize(kValueFontPixels);
        }
    });
    // The unit row and the titles never widen their column.
    grdManager_->SetAutoWidthHandler(
        [](my::StringGrid&, int col, int row, bool& mayWiden) { mayWiden = col != 0 && row != RowUnit; });
}

void TForm1::SaveSettings()
{
    SaveWindowPlacement(*this, GetForm1Ini(), kPlacementSection);
    for (unsigned i = 0; i < STATUS_PNLS_COUNT; ++i)
        GetForm1Ini().WriteInteger(kStatusPanelSection, std::to_string(i), StatusPanelWidth(i));
    GetConfigIni().WriteInteger(kConfigMainSection, kAddressKey, address_);
    for (int col = 0; col < grd1->ColCount(); ++col)
        GetForm1Ini().WriteInteger(kColumnWidthSection, std::to_string(col), grd1->ColWidth(col));
}

bool TForm1::event(QEvent* e)
{
    // An activation is only asked for: a window manager that prevents
    // focus stealing, or Wayland, opens the window inactive. The first
    // showing starts the work as well.
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show)
        FormActivate();
    return QMainWindow::event(e);
}

void TForm1::closeEvent(QCloseEvent* e)
{
    QMainWindow::closeEvent(e);
    if (e->isAccepted())
        emit Closed();
}

void TForm1::FormActivate()
{
    if (wasActivated_)
        return;
    wasActivated_ = true;
    ConsolePrint("Form1->FormActivate.\n");
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    GUIConT::Instance().AttachToMainWindow(this);
    LoadWindowPlacement(*this, GetForm1Ini(), kPlacementSection);
    menuConsole->setVisible(GetForm1Ini().ReadBool(kPlacementSection, kEnableConsoleKey, false));
    StartInitializeDevice();
}

int32_t TForm1::Address() const { return address_; }

void TForm1::SetAddress(int32_t address)
{
    address_ = address;
    Label8->setText(QString::number(address));
}

void TForm1::StartInitializeDevice()
{
    TransferManagerT& engine = TransferManagerT::Instance();
    engine.StopThread();
    engine.Tasks().Clear();
    engine.AddTask(new DevTask::InitializeDevice, true);
    engine.StartThread();
}

void TForm1::StartReadChanals()
{
    TransferManagerT& engine = TransferManagerT::Instance();
    engine.StopThread();
    engine.Tasks().Clear();
    AddReadChanalTasks();
    engine.StartThread();
}

unsigned TForm1::ChanalOfColumn(int col) const
{
    // Row 0 is written only by UpdateChanals and cannot be edited.
    const std::pair<int32_t, bool> n = ParseInt(grd1->Cell(col, RowChanal).toStdString());
    MY_ASSERT_M(n.second && n.first >= 0, "n.second && n.first>=0");
    return static_cast<unsigned>(n.first);
}

void TForm1::AddReadChanalTasks()
{
    TransferManagerT& engine = TransferManagerT::Instance();
    for (int col = 1; col < grd1->ColCount(); ++col)
        engine.AddTask(new DevTask::ReadChanal(ChanalOfColumn(col)), true);
}

// Runs inside the initialisation task's main-thread step, while the worker
// waits: the polling tasks join the list without a stop of the thread.
void TForm1::UpdateChanals(const ModbusChanals& chanals)
{
    const int count = static_cast<int>(chanals.size());
    // Values read for the old table must not turn up in the new one.
    frames_.DropValues();
    grd1->SetColCount(count + 1);
    const ThisModule& names = ThisModule::Instance();
    for (int p = 0; p < count; ++p) {
        const ModbusChanalTag& ch = chanals[p];
        const int col = p + 1;
        grd1->SetCell(col, RowChanal, QString::number(ch.number));
        grd1->SetCell(col, RowScale, Q(ScaleText(names.ScaleOf(ch.scaleCode))));
        grd1->SetCell(col, RowQuantity, Q(names.VarName(ch.quantityCode)));
        grd1->SetCell(col, RowUnit, Q(names.UnitName(ch.unitCode)));
        grd1->SetCell(col, RowValue, QString());
        grd1->SetColWidth(col,
                          GetForm1Ini().ReadInteger(kColumnWidthSection, std::to_string(col), grd1->DefaultColWidth()));
    }
    recording_->SetChanals(address_, chanals);
    archiveViewer_->SetChanals(chanals);
    trends_->SetChanals(chanals);
    AddReadChanalTasks();
}

int TForm1::ColumnOfChanal(unsigned nChanal) const
{
    for (int col = 1; col < grd1->ColCount(); ++col)
        if (ChanalOfColumn(col) == nChanal)
            return col;
    return -1;
}

// An instrument may leave channels out: the column is found by the number
// it shows, not by the channel's position in the list.
void TForm1::UpdateChanalValue(unsigned nChanal, double value)
{
    recording_->OnValue(nChanal, value);
    trends_->OnValue(nChanal, value);
    Frame().values[nChanal] = value;
}

void TForm1::SaveArchive(const uint8_t* begin, const uint8_t* end)
{
    const std::string dir = GetDataDir();
    const std::string copy = SaveArchiveCopy(dir, address_, QDateTime::currentDateTime(), begin, end);
    try {
        SaveArchiveFiles(dir, begin, end);
    } catch (const PMyExcpt& e) {
        // Nothing to open: the user learns why in the console and in the
        // red status panel, which nothing else writes to.
        ConsolePrint("Ошибка - " + e->Message() + "\n");
        SetStatusText(3, e->Message());
        return;
    }
    // "archive.txt" opens from there.
    archiveViewer_->ShowDownload(begin, end, copy.empty() ? dir + "archive.bin" : copy);
}

std::string TForm1::FormatValue(double v) { return ::FormatValue(v); }

QLabel* TForm1::StatusPanel(unsigned index) const
{
    MY_ASSERT_M(index < STATUS_PNLS_COUNT, "index<STATUS_PNLS_COUNT");
    return statusPanels_[index];
}

int TForm1::StatusPanelWidth(unsigned index) const { return StatusPanel(index)->width(); }

// The full text stays readable from the tooltip when the panel is too
// narrow for it. The red panel shows only errors: it is not merged away.
void TForm1::SetStatusText(unsigned index, const std::string& text)
{
    MY_ASSERT_M(index < STATUS_PNLS_COUNT, "index<STATUS_PNLS_COUNT");
    StatusFrames::Panel& panel = Frame().panels[index];
    panel.text = text;
    panel.tip = text;
    if (index == 3)
        frames_.Close();
}

void TForm1::OnReportState(unsigned code, const std::string& text)
{
    switch (code) {
    case StateTaskBegins:
        Frame().activity = StatusFrames::Colored{text, false};
        SetStatusText(0, text);
        break;
    case StateTaskDone:
        Frame().activity = StatusFrames::Colored{"Измерение", false};
        SetStatusText(1, "Ok");
        break;
    case StatePortConnecting:
        SetStatusText(2, text);
        break;
    case StateError:
        Frame().activity = StatusFrames::Colored{"Ошибка приёмопередачи", true};
        Frame().link = StatusFrames::Colored{"Связи нет", true};
        SetStatusText(1, text);
        frames_.Close();
        break;
    case StateStarted:
    case StateStopped:
        SetStatusText(0, text);
        for (unsigned i = 1; i + 1 < STATUS_PNLS_COUNT; ++i)
            SetStatusText(i, "");
        // Clearing the red panel is no error of its own.
        Frame().panels[3] = StatusFrames::Panel{std::string(), std::string()};
        break;
    default:
        break;
    }
}

void TForm1::OnNotifyTransmition(const TransmitionItemTag& item)
{
    if (!item.done)
        return;
    if (FormOpros)
        FormOpros->UpdateProgress(item.slave, !item.error);
    if (!item.error)
        Frame().link = StatusFrames::Colored{"Связь установлена", false};
}

StatusFrames::Frame& TForm1::Frame()
{
    pacer_->RequestRepaint();
    return frames_.Gather();
}

bool TForm1::ShowNextFrame()
{
    if (frames_.Empty())
        return false;
    ShowFrame(frames_.TakeOldest());
    return !frames_.Empty();
}

namespace {

// Only what differs is changed: a label asks for a new layout of its window
// at every new text, and every palette change is sent down to its children.
void ShowColored(QLabel* label, const StatusFrames::Colored& shown)
{
    label->setText(Q(shown.text));
    const QColor color = shown.red ? kRed : kBlack;
    if (label->palette().color(QPalette::WindowText) != color)
        SetTextColor(label, color);
}

} // namespace

void TForm1::ShowFrame(const StatusFrames::Frame& frame)
{
    if (frame.activity)
        ShowColored(Label11, *frame.activity);
    if (frame.link)
        ShowColored(Label2, *frame.link);
    for (unsigned i = 0; i < STATUS_PNLS_COUNT; ++i) {
        const StatusFrames::Panel& panel = frame.panels[i];
        if (panel.text)
            statusPanels_[i]->setText(Q(*panel.text));
        if (panel.tip && statusPanels_[i]->toolTip() != Q(*panel.tip))
            statusPanels_[i]->setToolTip(Q(*panel.tip));
    }
    for (const auto& [nChanal, value] : frame.values) {
        const int col = ColumnOfChanal(nChanal);
        if (col < 0)
            continue;
        const QString text = Q(FormatValue(value));
        grd1->SetCell(col, RowValue, text);
        const auto detail = chanalForms_.find(nChanal);
        if (detail != chanalForms_.end())
            detail->second->Label2->setText(text);
    }
}

void TForm1::N6Click() { close(); }

void TForm1::N3Click() { TransferManagerT::Instance().ConfigurePort(); }

void TForm1::menuConsoleClick()
{
    GUIConT& console = GUIConT::Instance();
    console.Open();
    console.ToggleWindow();
}
