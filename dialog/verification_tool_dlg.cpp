#include "verification_tool_dlg.h"

#include "about_dlg.h"
#include "check_file.h"
#include "dialog_fields.h"
#include "framework/file_dialog.h"
#include "framework/win_app.h"
#include "report.h"
#include "resource.h"

namespace {

constexpr char kIntroduction[] =
    "Quorvex is used to verify if video files and snapshot images are obtained from NVR and if "
    "those are modified. \n\nPlease note it that Quorvex supports video files or snapshot images "
    "from NVR firmware 2.0.0.40 or later. \n\nClick \"OK\" to select the file...";

struct FieldRect {
  int id;
  int x, y, width, height;
};

// Pixels of the client area, whatever the dialog font: the template's
// positions hold only until the dialog opens.
// IDC_VIDEO_FORMAT to IDC_PROGRESS, one row each, come between the two tables.
constexpr FieldRect kRectsBeforeRows[] = {
    {IDC_DETAIL, 405, 70, 60, 20}, {IDOK, 405, 95, 60, 20},     {IDCANCEL, 405, 120, 60, 20},
    {IDC_NAME, 10, 10, 390, 20},   {IDC_PATH, 10, 25, 390, 30},
};
constexpr FieldRect kRectsAfterRows[] = {
    {IDC_RESULT, 10, 100, 390, 60},
    {IDC_INTRO, 10, 10, 390, 300},
};

constexpr std::size_t kNameBufferSize = 4096;

}  // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CVerificationToolDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDOK, &CVerificationToolDlg::OnBnClickedOk)
  ON_BN_CLICKED(IDC_DETAIL, &CVerificationToolDlg::OnBnClickedDetail)
END_MESSAGE_MAP()
// clang-format on

CVerificationToolDlg::CVerificationToolDlg() : CDialog(IDD_MAIN_DIALOG) {
  m_hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CVerificationToolDlg::~CVerificationToolDlg() = default;

BOOL CVerificationToolDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  CMenu* pSysMenu = GetSystemMenu(FALSE);
  if (pSysMenu != nullptr) {
    std::string strAboutMenu;
    AfxLoadString(IDS_ABOUTBOX, strAboutMenu);
    if (!strAboutMenu.empty()) {
      pSysMenu->AppendMenu(MF_SEPARATOR);
      pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu.c_str());
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  for (const FieldRect& r : kRectsBeforeRows) {
    GetDlgItem(r.id)->MoveWindow(r.x, r.y, r.width, r.height, TRUE);
  }
  for (int i = 0; i < 3; ++i) {
    GetDlgItem(IDC_VIDEO_FORMAT + i)->MoveWindow(10, 55 + 15 * i, 390, 20, TRUE);
  }
  for (const FieldRect& r : kRectsAfterRows) {
    GetDlgItem(r.id)->MoveWindow(r.x, r.y, r.width, r.height, TRUE);
  }

  GetDlgItem(IDC_INTRO)->SetWindowText(kIntroduction);

  for (int id = IDC_PATH; id <= IDC_RESULT; ++id) {
    GetDlgItem(id)->ShowWindow(SW_HIDE);
  }

  GetDlgItem(IDC_DETAIL)->EnableWindow(FALSE);

  return TRUE;
}

void CVerificationToolDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CVerificationToolDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);

    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;

    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CVerificationToolDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CVerificationToolDlg::OnBnClickedOk() {
  m_errorList.Clear();

  std::string fileNameBuffer(kNameBufferSize, '\0');

  CFileDialog dlgFile(TRUE, "avi", "*.avi", OFN_HIDEREADONLY, nullptr, this, 0, TRUE);
  OPENFILENAMEA& ofn = dlgFile.GetOFN();
  ofn.lpstrFile = fileNameBuffer.data();
  ofn.nMaxFile = static_cast<DWORD>(kNameBufferSize);

  if (dlgFile.DoModal() != IDOK) return;

  // The fields' starting texts and the name split are the report layer's,
  // the same for every front end.
  quorvex::report::PrepareForCheck(*this, m_errorList);

  POSITION pos = dlgFile.GetStartPosition();
  while (pos != nullptr) {
    const std::string path = dlgFile.GetNextPathName(pos);
    // Paths and names of any length go to the check whole.
    quorvex::CheckFile(path, quorvex::report::BareName(path), *this, m_errorList);
  }
}

void CVerificationToolDlg::OnBnClickedDetail() {
  MessageBox(m_errorList.Text().c_str(), nullptr, MB_OK);
}

void CVerificationToolDlg::SetFieldText(int id, const std::string& text) {
  GetDlgItem(id)->SetWindowText(text.c_str());
}

void CVerificationToolDlg::ShowField(int id, bool show) {
  GetDlgItem(id)->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CVerificationToolDlg::EnableDetail(bool enable) {
  GetDlgItem(IDC_DETAIL)->EnableWindow(enable ? TRUE : FALSE);
}
