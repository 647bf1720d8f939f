#include "platform/OneWizard.h"

#include <sddl.h>

#include "platform/Handles.h"
#include "platform/Platform.h"

namespace {

// The namespace only processes with the Administrators group in their token
// may make or open, and the name in it. A plain global name can be taken
// first by any account, and the wizard would then never start.
constexpr wchar_t kNamespace[] = L"SetupVantor";
constexpr wchar_t kInNamespace[] = L"SetupVantor\\Wizard";
// Where the system offers no private namespaces (Wine 8 among them).
constexpr wchar_t kGlobalName[] = L"Global\\SetupVantor.Wizard";
// Which session the wizard runs in: a name of the session's own namespace.
constexpr wchar_t kSessionMark[] = L"Local\\SetupVantor.Wizard";

// Looked up, not imported: Wine 8 exports none of them but a stub of
// CreateBoundaryDescriptorW that makes nothing.
struct NamespaceApi {
  decltype(&CreateBoundaryDescriptorW) createBoundary = nullptr;
  decltype(&AddSIDToBoundaryDescriptor) addSid = nullptr;
  decltype(&DeleteBoundaryDescriptor) deleteBoundary = nullptr;
  decltype(&CreatePrivateNamespaceW) create = nullptr;
  decltype(&OpenPrivateNamespaceW) open = nullptr;
  decltype(&ClosePrivateNamespace) close = nullptr;

  bool Complete() const {
    return createBoundary && addSid && deleteBoundary && create && open && close;
  }
};

template <typename F>
void Find(HMODULE kernel, const char* name, F& f) {
  f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

const NamespaceApi& Api() {
  static const NamespaceApi api = [] {
    NamespaceApi found;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    Find(kernel, "CreateBoundaryDescriptorW", found.createBoundary);
    Find(kernel, "AddSIDToBoundaryDescriptor", found.addSid);
    Find(kernel, "DeleteBoundaryDescriptor", found.deleteBoundary);
    Find(kernel, "CreatePrivateNamespaceW", found.create);
    Find(kernel, "OpenPrivateNamespaceW", found.open);
    Find(kernel, "ClosePrivateNamespace", found.close);
    return found;
  }();
  return api;
}

}  // namespace

OneWizard::~OneWizard() {
  mutex_.reset();
  if (namespace_) Api().close(namespace_, 0);
  if (boundary_) Api().deleteBoundary(boundary_);
}

bool OneWizard::Take() {
  return Hold(false);
}

bool OneWizard::Join() {
  return Hold(true);
}

bool OneWizard::Hold(bool join) {
  const NamespaceApi& api = Api();
  if (api.Complete()) {
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    boundary_ = api.createBoundary(kNamespace, 0);
    if (boundary_ && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) &&
        api.addSid(&boundary_, admins)) {
      // Administrators and SYSTEM may use it, no one else.
      platform::UniqueLocal descriptor;
      if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
              L"D:P(A;;GA;;;BA)(A;;GA;;;SY)", SDDL_REVISION_1, descriptor.put(), nullptr)) {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        // Made by the first wizard, opened by the next; a wizard that ends
        // between the two takes it away, and it is made again.
        for (int attempt = 0; !namespace_ && attempt < 3; ++attempt) {
          namespace_ = api.create(&attributes, boundary_, kNamespace);
          if (!namespace_ && GetLastError() == ERROR_ALREADY_EXISTS)
            namespace_ = api.open(boundary_, kNamespace);
        }
      }
    }
  }
  const wchar_t* name = namespace_ ? kInNamespace : kGlobalName;
  mutex_.reset(CreateMutexW(nullptr, FALSE, name));
  const bool taken = mutex_ && (join || GetLastError() != ERROR_ALREADY_EXISTS);
  if (!taken) {
    mutex_.reset();
    return false;
  }
  sessionMark_.reset(CreateMutexW(nullptr, FALSE, kSessionMark));
  return true;
}

bool OneWizard::OtherRunsInThisSession() const {
  platform::UniqueHandle mark(OpenMutexW(SYNCHRONIZE, FALSE, kSessionMark));
  return static_cast<bool>(mark) || GetLastError() == ERROR_ACCESS_DENIED;
}
