#include "client/process_locale.h"

namespace client {

LocaleInfo ProcessLocale(const base::Environment& environment) {
  return QueryLocale(environment.Get("LC_ALL"), environment.Get("LC_CTYPE"),
                     environment.Get("LANG"));
}

}  // namespace client
