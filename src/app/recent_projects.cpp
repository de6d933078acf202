// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recent_projects.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace mirevant {

namespace {

const QString kKey = QStringLiteral("recent_projects");

// $XDG_CONFIG_HOME/mirevant/mirevant.ini (~/.config when the variable is not set).
QSettings settings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("mirevant"),
                   QStringLiteral("mirevant"));
}

QStringList cleaned(const QStringList& paths) {
  QStringList out;
  for (const QString& p : paths) {
    if (p.isEmpty() || !QFileInfo(p).isAbsolute() || out.contains(p)) continue;
    out << p;
    if (out.size() == RecentProjects::kMaximum) break;
  }
  return out;
}

void store(const QStringList& paths) {
  {  // A damaged file is written afresh.
    const QSettings damaged = settings();
    if (damaged.status() == QSettings::FormatError) QFile::remove(damaged.fileName());
  }
  QSettings s = settings();
  s.setValue(kKey, cleaned(paths));
}

}  // namespace

QStringList RecentProjects::list() {
  const QSettings s = settings();
  if (s.status() != QSettings::NoError) return {};
  const QVariant v = s.value(kKey);
  // One entry is read back as a plain string; anything else than text is not a list of ours.
  if (v.typeId() == QMetaType::QString) return cleaned({v.toString()});
  if (v.typeId() != QMetaType::QStringList && v.typeId() != QMetaType::QVariantList) return {};
  QStringList paths;
  for (const QVariant& item : v.toList())
    if (item.typeId() == QMetaType::QString) paths << item.toString();
  return cleaned(paths);
}

void RecentProjects::add(const QString& path) {
  QStringList paths = list();
  const QString absolute = QFileInfo(path).absoluteFilePath();
  paths.removeAll(absolute);
  paths.prepend(absolute);
  store(paths);
}

void RecentProjects::remove(const QString& path) {
  QStringList paths = list();
  paths.removeAll(path);
  store(paths);
}

}  // namespace mirevant

// The Project menu's list of recent projects.

#include <QAction>
#include <QDir>
#include <QMenu>

#include "app/main_window.h"
#include "ui/dialogs.h"

namespace mirevant {

void MainWindow::fillRecentMenu() {
  menuRecentProjects->clear();
  const QStringList paths = RecentProjects::list();
  for (int k = 0; k < paths.size(); ++k) {
    // "&1 name.mirevant.toml", the whole path in the status panel.
    const QString path = paths[k];
    QAction* a = menuRecentProjects->addAction(
        QStringLiteral("&%1 %2").arg(k + 1).arg(QFileInfo(path).fileName().replace(
            QLatin1Char('&'), QStringLiteral("&&"))));
    a->setStatusTip(QDir::toNativeSeparators(path));
    a->setData(path);
    connect(a, &QAction::triggered, this, [this, path] { openRecentProject(path); });
  }
  if (paths.isEmpty()) menuRecentProjects->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void MainWindow::openRecentProject(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    RecentProjects::remove(path);
    fillRecentMenu();
    dialogs_.message(Dialogs::Kind::Error,
                     QStringLiteral("The project file ") + QDir::toNativeSeparators(path) +
                         QStringLiteral(" no longer exists. It has been removed from the list of "
                                        "recent projects."));
    return;
  }
  if (!maybeSave()) return;
  openProject(path);
}

void MainWindow::rememberRecent(const QString& path) {
  RecentProjects::add(path);
  fillRecentMenu();
}

}  // namespace mirevant
