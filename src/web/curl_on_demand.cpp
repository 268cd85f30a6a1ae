// The libcurl entry points the HTTP layer calls, forwarded to the library,
// which is loaded by name on the first call instead of when the program
// starts. With its TLS, SSH, LDAP and RTMP dependencies libcurl would take
// some 7 MiB of resident memory from start-up on, before any request.
// When the library cannot be loaded, every call fails the way libcurl
// reports a failure (a null handle, an error code), so requests come back
// empty.

// This file defines the entry points that the type-checking macros would rename.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>

namespace {

// libcurl's ABI version, unchanged since 7.16.
constexpr const char* kLibraryName = "libcurl.so.4";

void* Library() {
  static void* const handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

// The library's own definition of name, null when it is not available.
template <typename Function>
Function* Resolve(Function*, const char* name) {
  void* library = Library();
  return library != nullptr ? reinterpret_cast<Function*>(dlsym(library, name)) : nullptr;
}

}  // namespace

// The option enums that come before "..." in libcurl's declarations are
// int-sized, so promotion leaves them as they are; clang warns regardless.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wvarargs"
#endif

// Each entry point resolves its target once, on its first call.
#define CURL_TARGET(name) static auto* const target = Resolve(&::name, #name)

extern "C" {

CURLcode curl_global_init(long flags) {
  CURL_TARGET(curl_global_init);
  return target != nullptr ? target(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
  CURL_TARGET(curl_easy_init);
  return target != nullptr ? target() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
  CURL_TARGET(curl_easy_cleanup);
  if (target != nullptr) target(handle);
}

// The one argument after option has the type that the option's number range
// announces; it is passed on as that type.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  CURL_TARGET(curl_easy_setopt);
  if (target == nullptr) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    result = target(handle, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    result = target(handle, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    result = target(handle, option, va_arg(args, void (*)()));
  } else if (option < CURLOPTTYPE_BLOB) {
    result = target(handle, option, va_arg(args, curl_off_t));
  } else {
    result = target(handle, option, va_arg(args, void*));
  }
  va_end(args);
  return result;
}

// Every piece of information is written through one pointer.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  CURL_TARGET(curl_easy_getinfo);
  if (target == nullptr) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  const CURLcode result = target(handle, info, va_arg(args, void*));
  va_end(args);
  return result;
}

CURLSH* curl_share_init() {
  CURL_TARGET(curl_share_init);
  return target != nullptr ? target() : nullptr;
}

CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
  CURL_TARGET(curl_share_setopt);
  if (target == nullptr) return CURLSHE_NOT_BUILT_IN;
  va_list args;
  va_start(args, option);
  CURLSHcode result;
  if (option == CURLSHOPT_SHARE || option == CURLSHOPT_UNSHARE) {
    result = target(share, option, va_arg(args, int));
  } else if (option == CURLSHOPT_LOCKFUNC || option == CURLSHOPT_UNLOCKFUNC) {
    result = target(share, option, va_arg(args, void (*)()));
  } else {
    result = target(share, option, va_arg(args, void*));
  }
  va_end(args);
  return result;
}

CURLM* curl_multi_init() {
  CURL_TARGET(curl_multi_init);
  return target != nullptr ? target() : nullptr;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* easy) {
  CURL_TARGET(curl_multi_add_handle);
  return target != nullptr ? target(multi, easy) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* easy) {
  CURL_TARGET(curl_multi_remove_handle);
  return target != nullptr ? target(multi, easy) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  CURL_TARGET(curl_multi_perform);
  return target != nullptr ? target(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
                          int* ready) {
  CURL_TARGET(curl_multi_poll);
  return target != nullptr ? target(multi, extra, extraCount, timeoutMs, ready)
                           : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
  CURL_TARGET(curl_multi_info_read);
  return target != nullptr ? target(multi, left) : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
  CURL_TARGET(curl_multi_cleanup);
  return target != nullptr ? target(multi) : CURLM_INTERNAL_ERROR;
}

curl_slist* curl_slist_append(curl_slist* list, const char* line) {
  CURL_TARGET(curl_slist_append);
  return target != nullptr ? target(list, line) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  CURL_TARGET(curl_slist_free_all);
  if (target != nullptr) target(list);
}

CURLU* curl_url() {
  CURL_TARGET(curl_url);
  return target != nullptr ? target() : nullptr;
}

void curl_url_cleanup(CURLU* url) {
  CURL_TARGET(curl_url_cleanup);
  if (target != nullptr) target(url);
}

CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** out, unsigned int flags) {
  CURL_TARGET(curl_url_get);
  return target != nullptr ? target(url, part, out, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* content, unsigned int flags) {
  CURL_TARGET(curl_url_set);
  return target != nullptr ? target(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

void curl_free(void* pointer) {
  CURL_TARGET(curl_free);
  if (target != nullptr) target(pointer);
}

time_t curl_getdate(const char* date, const time_t* unused) {
  CURL_TARGET(curl_getdate);
  return target != nullptr ? target(date, unused) : -1;
}

}  // extern "C"
