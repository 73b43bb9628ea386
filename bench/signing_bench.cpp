// Signing and verifying through the control object, in-process, against the
// system libcrypto doing the same job with objects it parsed beforehand.
//
// The control runs in server mode with the `none` UI and names the signer by
// DN, so no dialog is involved. The library side signs with PKCS7_sign (SHA-1,
// no signed attributes, like the control's default) and verifies with
// PKCS7_verify against the same root, intermediate and CRL; the 10 MiB pair
// does what `openssl cms -sign -binary` and `openssl cms -verify -crl_check`
// do, with the library's own defaults, and OpensslCommandsSignVerify10MiB
// runs those two commands themselves.
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/pkcs7.h>

#include <fcntl.h>
#include <malloc.h>
#include <openssl/pem.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_home.h"
#include "control/control.h"
#include "platform/text/base64.h"
#include "platform/text/code_page.h"

namespace {

using quorvel::bench::BenchHome;
using quorvel::bench::FormText;
using quorvel::bench::kSignerDn;
using quorvel::control::CDrennicQuorvel;
using quorvel::control::Status;

constexpr std::size_t kSmall = 1024;
constexpr std::size_t kLarge = std::size_t{10} << 20;

using quorvel::platform::CmsPtr;
using quorvel::platform::Pkcs7Ptr;
using StorePtr = quorvel::platform::X509StorePtr;
using quorvel::platform::BioPtr;

// The root and the intermediate, whose CRL is checked for the end certificate.
// The library builds chains from the store and the message's own certificates
// only, so the intermediate goes into the store; the chain still runs up to
// the root.
StorePtr TrustStore(const quorvel::bench::LibraryObjects& objects) {
  StorePtr store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), objects.root.get());
  X509_STORE_add_cert(store.get(), objects.intermediate.get());
  X509_STORE_add_crl(store.get(), objects.crl.get());
  X509_STORE_set_flags(store.get(), X509_V_FLAG_CRL_CHECK);
  return store;
}

bool Sign(CDrennicQuorvel& control, const std::u16string& text, std::u16string& signature) {
  return control.QVSetPlainText(text) == Status::kOk &&
         control.QVAttachedSign(std::u16string(kSignerDn), signature) == Status::kOk;
}

std::string Der(const std::u16string& signature) {
  std::string der;
  if (!quorvel::platform::Base64Decode(quorvel::platform::Utf16ToUtf8(signature), der)) return {};
  return der;
}

long StatusKib(const char* field) {
  std::ifstream in("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

// Lets the peak resident size start again from the current one, after the
// heap has given back what earlier benchmarks freed.
void ResetPeakResident() {
  malloc_trim(0);
  if (std::FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", file);
    std::fclose(file);
  }
}

void QVAttachedSign1KiB(benchmark::State& state) {
  BenchHome::Use(static_cast<std::size_t>(state.range(0)));
  CDrennicQuorvel control;
  control.put_QVServerMode(1);
  const std::u16string text = quorvel::platform::Utf8ToUtf16(FormText(kSmall));
  std::u16string signature;
  for (auto _ : state) {
    if (!Sign(control, text, signature)) {
      state.SkipWithError("QVAttachedSign failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void LibraryPkcs7Sign1KiB(benchmark::State& state) {
  const auto& objects = BenchHome::Use(20).library();
  const std::string text = FormText(kSmall);
  constexpr int kFlags = PKCS7_BINARY | PKCS7_NOATTR | PKCS7_NOSMIMECAP | PKCS7_PARTIAL;
  for (auto _ : state) {
    BioPtr input(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    Pkcs7Ptr message(PKCS7_sign(nullptr, nullptr, nullptr, input.get(), kFlags));
    unsigned char* der = nullptr;
    if (!message ||
        PKCS7_sign_add_signer(message.get(), objects.signer.get(), objects.signerKey.get(),
                              EVP_sha1(), kFlags) == nullptr ||
        PKCS7_final(message.get(), input.get(), kFlags) != 1 ||
        i2d_PKCS7(message.get(), &der) <= 0) {
      state.SkipWithError("PKCS7_sign failed");
      break;
    }
    OPENSSL_free(der);
  }
  state.SetItemsProcessed(state.iterations());
}

void QVAttachedVerify1KiB(benchmark::State& state) {
  BenchHome::Use(20);
  CDrennicQuorvel control;
  control.put_QVServerMode(1);
  std::u16string signature;
  if (!Sign(control, quorvel::platform::Utf8ToUtf16(FormText(kSmall)), signature)) {
    state.SkipWithError("QVAttachedSign failed");
    return;
  }
  for (auto _ : state) {
    if (control.QVAttachedVerify(signature) != Status::kOk) {
      state.SkipWithError("QVAttachedVerify failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void LibraryPkcs7Verify1KiB(benchmark::State& state) {
  const auto& objects = BenchHome::Use(20).library();
  CDrennicQuorvel control;
  control.put_QVServerMode(1);
  std::u16string signature;
  if (!Sign(control, quorvel::platform::Utf8ToUtf16(FormText(kSmall)), signature)) {
    state.SkipWithError("QVAttachedSign failed");
    return;
  }
  const std::string der = Der(signature);
  const StorePtr store = TrustStore(objects);
  for (auto _ : state) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    Pkcs7Ptr message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
    BioPtr content(BIO_new(BIO_s_mem()));
    if (!message || PKCS7_verify(message.get(), nullptr, store.get(), nullptr, content.get(),
                                 PKCS7_BINARY) != 1) {
      state.SkipWithError("PKCS7_verify failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// range(0): 1 keeps the control's compression threshold, 0 raises it above
// the message size, as `openssl cms` does not compress.
void QVAttachedSignVerify10MiB(benchmark::State& state) {
  BenchHome::Use(20);
  CDrennicQuorvel control;
  control.put_QVServerMode(1);
  if (state.range(0) == 0) control.put_MaxCompSize(INT32_MAX);
  const std::u16string text = quorvel::platform::Utf8ToUtf16(FormText(kLarge));
  std::u16string signature;

  ResetPeakResident();
  const long before = StatusKib("VmRSS");
  if (!Sign(control, text, signature) || control.QVAttachedVerify(signature) != Status::kOk) {
    state.SkipWithError("10 MiB sign and verify failed");
    return;
  }
  const long peak = StatusKib("VmHWM");
  signature.clear();
  signature.shrink_to_fit();

  for (auto _ : state) {
    if (!Sign(control, text, signature) || control.QVAttachedVerify(signature) != Status::kOk) {
      state.SkipWithError("10 MiB sign and verify failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLarge));
  if (before > 0 && peak > 0) {
    state.counters["peak_growth_x_input"] = static_cast<double>(peak - before) * 1024.0 / kLarge;
  }
}

// The same pair as a page asks for it: Chinese text in code page 936, the
// content read back after verification.
void QVAttachedSignVerifyChinese10MiB(benchmark::State& state) {
  BenchHome::Use(20);
  CDrennicQuorvel control;
  control.put_QVServerMode(1);
  control.put_MaxCompSize(INT32_MAX);
  control.QVSetCodePage(936);
  const std::u16string text = quorvel::platform::Utf8ToUtf16(quorvel::bench::ChineseText(kLarge));
  std::u16string signature;
  std::u16string content;
  // The content read back is compared in full once, after the timed loop.
  for (auto _ : state) {
    if (!Sign(control, text, signature) || control.QVAttachedVerify(signature) != Status::kOk ||
        control.QVGetPlainText(content) != Status::kOk || content.size() != text.size()) {
      state.SkipWithError("10 MiB sign and verify failed");
      return;
    }
  }
  if (content != text) return state.SkipWithError("the content read back differs");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLarge));
}

void LibraryCmsSignVerify10MiB(benchmark::State& state) {
  const auto& objects = BenchHome::Use(20).library();
  const std::string text = FormText(kLarge);
  const StorePtr store = TrustStore(objects);
  for (auto _ : state) {
    BioPtr input(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    CmsPtr message(
        CMS_sign(objects.signer.get(), objects.signerKey.get(), nullptr, input.get(), CMS_BINARY));
    unsigned char* der = nullptr;
    const int length = message ? i2d_CMS_ContentInfo(message.get(), &der) : 0;
    if (length <= 0) {
      state.SkipWithError("CMS_sign failed");
      break;
    }
    const unsigned char* cursor = der;
    CmsPtr received(d2i_CMS_ContentInfo(nullptr, &cursor, length));
    OPENSSL_free(der);
    BioPtr content(BIO_new(BIO_s_mem()));
    if (!received ||
        CMS_verify(received.get(), nullptr, store.get(), nullptr, content.get(), CMS_BINARY) != 1) {
      state.SkipWithError("CMS_verify failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLarge));
}

// The same pair as the command-line tools do it, each run a process of its
// own with its files: `openssl cms -sign -binary -nodetach -outform DER` then
// `openssl cms -verify -binary -inform DER -crl_check`, with the signer, its
// key, and the chain with the CRL in PEM files written once.
bool RunTool(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

template <typename Write>
bool WritePem(const std::filesystem::path& path, Write write) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = write(file);
  return std::fclose(file) == 0 && written;
}

void OpensslCommandsSignVerify10MiB(benchmark::State& state) {
  const auto& objects = BenchHome::Use(20).library();
  const std::filesystem::path dir = BenchHome::Use(20).path().parent_path() / "openssl-cms";
  std::filesystem::create_directories(dir);
  const auto data = dir / "data.txt";
  std::ofstream(data, std::ios::binary) << FormText(kLarge);
  const bool ready =
      WritePem(dir / "signer.pem",
               [&](FILE* f) { return PEM_write_X509(f, objects.signer.get()) == 1; }) &&
      WritePem(dir / "key.pem",
               [&](FILE* f) {
                 return PEM_write_PrivateKey(f, objects.signerKey.get(), nullptr, nullptr, 0,
                                             nullptr, nullptr) == 1;
               }) &&
      // The CA file carries the CRL too: the tool loads both kinds from it.
      WritePem(dir / "chain.pem", [&](FILE* f) {
        return PEM_write_X509(f, objects.root.get()) == 1 &&
               PEM_write_X509(f, objects.intermediate.get()) == 1 &&
               PEM_write_X509_CRL(f, objects.crl.get()) == 1;
      });
  if (!ready) {
    state.SkipWithError("cannot write the tools' files");
    return;
  }
  const std::string d = dir.string();
  const std::vector<std::string> sign = {"openssl",         "cms",      "-sign",        "-binary",
                                         "-nodetach",       "-md",      "sha1",         "-signer",
                                         d + "/signer.pem", "-inkey",   d + "/key.pem", "-in",
                                         data.string(),     "-outform", "DER",          "-out",
                                         d + "/signed.der"};
  const std::vector<std::string> verify = {
      "openssl",    "cms",  "-verify",          "-binary", "-inform",
      "DER",        "-in",  d + "/signed.der",  "-CAfile", d + "/chain.pem",
      "-crl_check", "-out", d + "/verified.txt"};
  for (auto _ : state) {
    if (!RunTool(sign) || !RunTool(verify)) {
      state.SkipWithError("openssl cms failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLarge));
}

BENCHMARK(QVAttachedSign1KiB)->ArgName("certs_in_MY")->Arg(20)->Arg(1000);
BENCHMARK(LibraryPkcs7Sign1KiB);
BENCHMARK(QVAttachedVerify1KiB);
BENCHMARK(LibraryPkcs7Verify1KiB);
BENCHMARK(QVAttachedSignVerify10MiB)
    ->ArgName("compressed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(QVAttachedSignVerifyChinese10MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(LibraryCmsSignVerify10MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpensslCommandsSignVerify10MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
