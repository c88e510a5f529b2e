#include "crawler/windows/settings_window.h"

#include <algorithm>

#include <QCheckBox>
#include <QFormLayout>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "crawler/settings.h"

namespace harbek::windows {

SettingsWindow::SettingsWindow(QWidget* mainWindow, const std::u16string& dbpath, const std::u16string& siteListUrl,
                               bool convertLinks, const RequestFields& request, SaveHandler onSave)
    : QWidget(mainWindow, Qt::Window), onSave_(std::move(onSave)) {
  setObjectName(QStringLiteral("db_cofing"));
  setWindowTitle(QStringLiteral("系统环境配置"));
  setWindowIcon(mainWindow->windowIcon());

  auto* decoration = new QLabel(this);
  decoration->setObjectName(QStringLiteral("Picture1"));
  decoration->setPixmap(QPixmap(QStringLiteral(":/harbek/decoration.png")));
  decoration->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* serverFrame = new QGroupBox(QStringLiteral("服务器配置"), this);
  serverFrame->setObjectName(QStringLiteral("Frame4"));
  auto* siteListCaption = new QLabel(QStringLiteral("网站列表返回地址"), serverFrame);
  siteListCaption->setObjectName(QStringLiteral("Label6"));
  siteListUrl_ = new QLineEdit(QString::fromStdU16String(siteListUrl), serverFrame);
  siteListUrl_->setObjectName(QStringLiteral("SiteListUrl"));
  auto* serverLayout = new QVBoxLayout(serverFrame);
  serverLayout->addWidget(siteListCaption);
  serverLayout->addWidget(siteListUrl_);

  auto* folderFrame = new QGroupBox(QStringLiteral("数据存入位置"), this);
  folderFrame->setObjectName(QStringLiteral("Frame2"));
  dbpath_ = new QLineEdit(QString::fromStdU16String(dbpath), folderFrame);
  dbpath_->setObjectName(QStringLiteral("dbpath"));
  auto* browse = new QPushButton(QStringLiteral("浏览..."), folderFrame);
  browse->setObjectName(QStringLiteral("Browse"));
  convertLinks_ = new QCheckBox(QStringLiteral("下载完成后转换链接"), folderFrame);
  convertLinks_->setObjectName(QStringLiteral("ConvertLinks"));
  convertLinks_->setChecked(convertLinks);
  convertLinks_->setToolTip(QStringLiteral("网站下载完成后, 改写已保存网页中的链接, 以便离线浏览"));
  auto* folderLayout = new QGridLayout(folderFrame);
  folderLayout->addWidget(dbpath_, 0, 0);
  folderLayout->addWidget(browse, 0, 1);
  folderLayout->addWidget(convertLinks_, 1, 0, 1, 2);
  folderLayout->setColumnStretch(0, 1);

  auto* saveButton = new QPushButton(QStringLiteral("=保存="), this);
  saveButton->setObjectName(QStringLiteral("Command2"));
  saveButton->setDefault(true);
  saveButton->setMinimumWidth(96);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(12, 12, 12, 12);
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(10);
  grid->addWidget(decoration, 0, 0, 4, 1);
  grid->addWidget(serverFrame, 0, 1);
  grid->addWidget(folderFrame, 1, 1);
  grid->addWidget(makeScopeFrame(request), 0, 2, 3, 1);
  grid->addWidget(makeRequestFrame(request), 2, 1);
  refusal_ = new QLabel(this);
  refusal_->setObjectName(QStringLiteral("saveRefused"));
  refusal_->setWordWrap(true);
  refusal_->setStyleSheet(QStringLiteral("color: #b00020;"));
  refusal_->hide();
  grid->addWidget(refusal_, 3, 0, 1, 3);
  grid->addWidget(saveButton, 4, 2, Qt::AlignRight);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);
  resize(900, 0);

  connect(browse, &QPushButton::clicked, this, [this] { chooseFolder(); });
  connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
}

QWidget* SettingsWindow::makeRequestFrame(const RequestFields& request) {
  auto* frame = new QGroupBox(QStringLiteral("请求设置"), this);
  frame->setObjectName(QStringLiteral("FrameRequest"));
  auto* agentLabel = new QLabel(QStringLiteral("User-Agent (空则用默认)"), frame);
  userAgent_ = new QLineEdit(QString::fromStdU16String(request.userAgent), frame);
  userAgent_->setObjectName(QStringLiteral("UserAgent"));
  noCheckCertificate_ = new QCheckBox(QStringLiteral("不检查HTTPS证书"), frame);
  noCheckCertificate_->setObjectName(QStringLiteral("NoCheckCertificate"));
  noCheckCertificate_->setChecked(request.noCheckCertificate);
  auto* caLabel = new QLabel(QStringLiteral("信任的证书文件 (空则用系统的)"), frame);
  caCertificate_ = new QLineEdit(QString::fromStdU16String(request.caCertificate), frame);
  caCertificate_->setObjectName(QStringLiteral("CaCertificate"));
  auto* caBrowse = new QPushButton(QStringLiteral("浏览..."), frame);
  caBrowse->setObjectName(QStringLiteral("CaBrowse"));
  auto* caRow = new QHBoxLayout;
  caRow->addWidget(caCertificate_, 1);
  caRow->addWidget(caBrowse);
  connections_ = new QSpinBox(frame);
  connections_->setObjectName(QStringLiteral("Connections"));
  connections_->setRange(1, crawler::kMaxConnections);
  connections_->setValue(std::clamp(request.connections, 1, crawler::kMaxConnections));
  connections_->setToolTip(QStringLiteral("大于1时, 队列中接下来的网址提前下载; 网页仍按队列顺序逐个保存"));
  auto* connectionsRow = new QHBoxLayout;
  connectionsRow->addWidget(new QLabel(QStringLiteral("同时连接数"), frame));
  connectionsRow->addWidget(connections_);
  connectionsRow->addStretch(1);
  auto* layout = new QVBoxLayout(frame);
  layout->addWidget(agentLabel);
  layout->addWidget(userAgent_);
  layout->addWidget(noCheckCertificate_);
  layout->addWidget(caLabel);
  layout->addLayout(caRow);
  layout->addLayout(connectionsRow);
  connect(caBrowse, &QPushButton::clicked, this, [this] { chooseCaFile(); });
  return frame;
}

QWidget* SettingsWindow::makeScopeFrame(const RequestFields& request) {
  auto* frame = new QGroupBox(QStringLiteral("范围"), this);
  frame->setObjectName(QStringLiteral("FrameScope"));
  queryPages_ = new QCheckBox(QStringLiteral("下载带参数(?)的网页"), frame);
  queryPages_->setObjectName(QStringLiteral("QueryPages"));
  queryPages_->setChecked(request.queryPages);
  queryPages_->setToolTip(QStringLiteral("也下载本站带查询参数的链接, 如 list.php?page=2"));
  pageRequisites_ = new QCheckBox(QStringLiteral("下载其他网站上的图片、样式和脚本"), frame);
  pageRequisites_->setObjectName(QStringLiteral("PageRequisites"));
  pageRequisites_->setChecked(request.pageRequisites);
  depth_ = new QSpinBox(frame);
  depth_->setObjectName(QStringLiteral("Depth"));
  depth_->setRange(-1, 9999);
  depth_->setSpecialValueText(QStringLiteral("不限"));
  depth_->setValue(request.depth);
  include_ = new QLineEdit(QString::fromStdU16String(request.include), frame);
  include_->setObjectName(QStringLiteral("Include"));
  include_->setPlaceholderText(QStringLiteral("如 /docs/*  (空格分隔)"));
  exclude_ = new QLineEdit(QString::fromStdU16String(request.exclude), frame);
  exclude_->setObjectName(QStringLiteral("Exclude"));
  exclude_->setPlaceholderText(QStringLiteral("如 *.zip  (优先)"));
  maxSize_ = new QLineEdit(request.maxSize > 0 ? QString::number(request.maxSize) : QString(), frame);
  maxSize_->setObjectName(QStringLiteral("MaxSize"));
  maxSize_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,18}")), maxSize_));
  maxSize_->setPlaceholderText(QStringLiteral("不限"));
  maxFiles_ = new QSpinBox(frame);
  maxFiles_->setObjectName(QStringLiteral("MaxFiles"));
  maxFiles_->setRange(0, 2'000'000'000);
  maxFiles_->setSpecialValueText(QStringLiteral("不限"));
  maxFiles_->setValue(static_cast<int>(std::min<int64_t>(request.maxFiles, 2'000'000'000)));
  robots_ = new QCheckBox(QStringLiteral("遵守 robots.txt"), frame);
  robots_->setObjectName(QStringLiteral("Robots"));
  robots_->setChecked(request.robots);
  auto* layout = new QFormLayout(frame);
  layout->addRow(queryPages_);
  layout->addRow(pageRequisites_);
  layout->addRow(QStringLiteral("最大深度"), depth_);
  layout->addRow(QStringLiteral("只下载路径"), include_);
  layout->addRow(QStringLiteral("不下载路径"), exclude_);
  layout->addRow(QStringLiteral("最大文件 (字节)"), maxSize_);
  layout->addRow(QStringLiteral("最多文件数"), maxFiles_);
  layout->addRow(robots_);
  return frame;
}

void SettingsWindow::chooseCaFile() {
  const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("选择信任的证书文件"), caCertificate_->text());
  if (!file.isEmpty()) caCertificate_->setText(file);
}

void SettingsWindow::chooseFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("选择数据存入位置"), dbpath_->text());
  if (!folder.isEmpty()) dbpath_->setText(folder);
}

void SettingsWindow::save() {
  RequestFields request;
  request.userAgent = userAgent_->text().trimmed().toStdU16String();
  request.noCheckCertificate = noCheckCertificate_->isChecked();
  request.caCertificate = caCertificate_->text().trimmed().toStdU16String();
  request.queryPages = queryPages_->isChecked();
  request.pageRequisites = pageRequisites_->isChecked();
  request.depth = depth_->value();
  request.include = include_->text().simplified().toStdU16String();
  request.exclude = exclude_->text().simplified().toStdU16String();
  request.maxSize = maxSize_->text().toLongLong();
  request.maxFiles = maxFiles_->value();
  request.robots = robots_->isChecked();
  request.connections = connections_->value();
  const std::u16string refused = onSave_(dbpath_->text().toStdU16String(), siteListUrl_->text().toStdU16String(),
                                         convertLinks_->isChecked(), request);
  refusal_->setText(QString::fromStdU16String(refused));
  refusal_->setVisible(!refused.empty());
  if (refused.empty()) hide();
}

}  // namespace harbek::windows
