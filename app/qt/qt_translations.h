#pragma once
// Qt's own texts (the buttons of the message boxes, the folder browser, the edit boxes' context
// menu) in the user's language, from the translations Qt installs beside itself.

#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

namespace ornivel {

class QtTranslations {
 public:
  QtTranslations() = default;
  QtTranslations(const QtTranslations&) = delete;
  QtTranslations& operator=(const QtTranslations&) = delete;
  // Takes the loaded translations out of the application again.
  ~QtTranslations();

  // Installs Qt's translations for `locale` into the running application (QLocale::system() for
  // the desktop's language). False when Qt has none for it: the texts stay English.
  bool Load(const QLocale& locale);

 private:
  std::vector<std::unique_ptr<QTranslator>> installed_;
};

}  // namespace ornivel
