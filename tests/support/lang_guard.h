#pragma once
#include <velmora/error.h>

// Sets the language flag for a test and restores it afterwards.
class LangGuard {
 public:
  explicit LangGuard(int english) : saved_(velmora::internal::useEnglish.load()) {
    velmora::internal::useEnglish = english;
  }
  ~LangGuard() { velmora::internal::useEnglish = saved_; }
  LangGuard(const LangGuard&) = delete;
  LangGuard& operator=(const LangGuard&) = delete;

 private:
  int saved_;
};
