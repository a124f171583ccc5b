#include "app/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace ornivel {

QtTranslations::~QtTranslations() {
  for (const auto& translator : installed_) QCoreApplication::removeTranslator(translator.get());
}

bool QtTranslations::Load(const QLocale& locale) {
  // qtbase holds every text of Qt Widgets the program shows. A language Qt has no catalogue for
  // keeps Qt's English texts.
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  installed_.push_back(std::move(translator));
  return true;
}

}  // namespace ornivel
