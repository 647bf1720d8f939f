#include "install/Messages.h"

#include <cstdint>

namespace install {

namespace {

const wchar_t kCr[] = L"\r";
const wchar_t kEnds[] = L"Instalace bude ukončena!";

// Megabytes with one decimal, as the person reads them.
std::wstring Megabytes(uint64_t bytes) {
  const uint64_t tenths = (bytes * 10 + (1 << 20) - 1) / (1 << 20);
  return std::to_wstring(tenths / 10) + L"," + std::to_wstring(tenths % 10) + L" MB";
}

const wchar_t kCancelEnds[] = L" Storno instalaci zruší.";

// "A", "A" a "B", "A", "B" a "C": each name quoted.
std::wstring NameList(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? L" a " : L", ";
    list += L"\"" + names[i] + L"\"";
  }
  return list;
}

}  // namespace

std::wstring CannotUnpack(const std::wstring& appFolder) {
  return L"Nelze rozbalit instalační soubory do složky \"" + appFolder + L"\\Instalace\"!" + kCr +
         kEnds;
}

std::wstring CannotRead(const std::wstring& sourceDir) {
  return L"Nelze číst zdojovou složku \"" + sourceDir + L"!\"" + kCr + kEnds;
}

std::wstring CannotCreate(const std::wstring& folder) {
  return L"Složku \"" + folder + L" nelze vytvořit!\"" + kCr + kEnds;
}

std::wstring CopyFailedMessage(const fileops::CopyFailure& failure) {
  const std::wstring quoted = L"\"" + failure.path + L"\"";
  switch (failure.what) {
    case fileops::CopyFailure::What::FolderNotMade:
      return L"Složku " + quoted + L" nelze vytvořit!";
    case fileops::CopyFailure::What::FolderNotCopied:
      return L"Kopírování složky " + quoted + L" selhalo!";
    case fileops::CopyFailure::What::FileNotCopied:
      break;
  }
  return L"Soubor " + quoted + L" nelze zkopírovat!";
}

std::wstring CannotWriteUninstaller(const std::wstring& appFolder) {
  return L"Nelze zapsat odinstalační program \"" + appFolder + L"\\Odinstalovat.exe\"!" + kCr +
         kEnds;
}

std::wstring LinkReplaced(const std::wstring& folder) {
  return L"Složka \"" + folder + L"\" z předchozí instalace byla nahrazena odkazem na jiné místo." +
         kCr + L"Odstraňte odkaz nebo zvolte jinou složku." + kCr + kEnds;
}

std::wstring UntrustedFolder(const std::wstring& folder, platform::FolderTrust trust) {
  std::wstring why;
  switch (trust) {
    case platform::FolderTrust::ForeignOwner:
      why = L"Složka \"" + folder +
            L"\" patří jinému účtu tohoto počítače, který by v ní mohl zaměnit instalované "
            L"soubory.";
      break;
    case platform::FolderTrust::OthersMayChange:
    case platform::FolderTrust::OpenToAll:
      why = L"Složku \"" + folder +
            L"\" mohou měnit i jiné účty tohoto počítače, které by v ní mohly zaměnit "
            L"instalované soubory.";
      break;
    default:
      why = L"Nelze ověřit, kdo smí měnit složku \"" + folder + L"\".";
      break;
  }
  return why + kCr +
         L"Zvolte jinou složku nebo ji zabezpečte tak, aby ji mohli měnit jen správci." + kCr +
         kEnds;
}

std::wstring UntrustedLink(const std::wstring& link, platform::FolderTrust trust) {
  std::wstring why;
  switch (trust) {
    case platform::FolderTrust::ForeignOwner:
      why = L"Složka \"" + link + L"\" je odkaz na jiné místo, který vytvořil jiný účet tohoto " +
            L"počítače.";
      break;
    case platform::FolderTrust::OthersMayChange:
    case platform::FolderTrust::OpenToAll:
      why = L"Složka \"" + link + L"\" je odkaz na jiné místo, který mohou změnit i jiné účty " +
            L"tohoto počítače.";
      break;
    default:
      why = L"Nelze ověřit, kdo smí změnit odkaz \"" + link + L"\" na jiné místo.";
      break;
  }
  return why + kCr + L"Odstraňte odkaz nebo zvolte jinou složku." + kCr + kEnds;
}

std::wstring Unprotectable(const std::wstring& folder) {
  return L"Disk složky \"" + folder +
         L"\" neukládá práva přístupu (například disk FAT), takže programy v ní by mohl zaměnit "
         L"kterýkoli účet tohoto počítače." +
         kCr + L"Zvolte složku na disku NTFS." + kCr + kEnds;
}

std::wstring InUseCannotReplace(const std::wstring& path) {
  return L"Soubor \"" + path + L"\" nelze nahradit, protože jej používá jiný program!" + kCr +
         L"Ukončete jej a zvolte Opakovat. Storno instalaci zruší.";
}

std::wstring StartMenuFailed() {
  return L"Startovací nabídku se nepodařilo zaktualizovat!";
}

std::wstring RegistryFailed() {
  return std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds;
}

std::wstring EngineFailed() {
  return std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kCr + kEnds;
}

std::wstring ForeignWorkFolder(const std::wstring& appFolder) {
  return L"Složka \"" + appFolder + L"\\Instalace\" již existuje a instalační program ji " +
         L"nevytvořil!" + kCr + L"Odstraňte ji, nebo zvolte pro součást \"VantorPro\" jinou " +
         L"složku." + kCr + kEnds;
}

std::wstring NotTheMediumsArchive(const std::wstring& mediumDir) {
  return L"Soubor \"" + mediumDir +
         L"\\Vaninst.pak\" nepatří k tomuto instalačnímu programu, byl změněn nebo vyměněn. " +
         L"Spusťte instalaci z původního instalačního média." + kCr + kEnds;
}

std::wstring MediumUnreadable(const std::wstring& mediumDir) {
  return L"Soubor \"" + mediumDir + L"\\Vaninst.pak\" na instalačním médiu nelze přečíst!" + kCr +
         L"Očistěte disk, nebo médium vložte znovu, a zvolte Opakovat. Storno instalaci zruší.";
}

std::wstring UnfinishedRunUnreadable(const std::wstring& lastLine) {
  return L"Byla nalezena nedokončená instalace, kterou tento program nemůže dokončit!" +
         std::wstring(kCr) + lastLine;
}

std::wstring RollBackLeft(const std::vector<std::wstring>& left) {
  std::wstring text = L"Změny provedené instalací se nepodařilo zcela vrátit zpět. Zůstalo:";
  for (const std::wstring& item : left) text += kCr + item;
  return text + kCr +
         L"Ukončete programy, které tyto soubory používají, a spusťte instalační program " +
         L"znovu. Vrácení změn se dokončí.";
}

std::wstring CommitNotUndone() {
  return std::wstring(L"Soubory, které instalace nahradila, se nepodařilo vrátit zpět!") + kCr +
         kEnds;
}

std::wstring RollingBack() {
  return L"Vracím provedené změny";
}

std::wstring EndsInstallation() {
  return kEnds;
}

std::wstring NoRoom(const fileops::RoomShortfall& shortfall) {
  return L"Na disku " + shortfall.root + L" není pro instalaci dost místa!" + kCr +
         L"Potřebné místo: " + Megabytes(shortfall.needed) + L", volné místo: " +
         Megabytes(shortfall.free) + L"." + kCr + L"Uvolněte místo na disku, nebo zvolte jinou " +
         L"složku." + kCr + kEnds;
}

std::wstring PathTooLong(const std::wstring& path, size_t limit) {
  return L"Cesta \"" + path + L"\" by měla " + std::to_wstring(path.size()) +
         L" znaků, Windows dovolují nejvýše " + std::to_wstring(limit) + L" znaků." + kCr +
         L"Zvolte kratší složku.";
}

std::wstring OnFoldersPage(std::wstring fatal) {
  const std::wstring ending = std::wstring(kCr) + kEnds;
  if (fatal.ends_with(ending)) fatal.resize(fatal.size() - ending.size());
  return fatal;
}

std::wstring ProgramsRunning(const std::vector<std::wstring>& names) {
  if (names.size() == 1)
    return L"Program " + NameList(names) + L" je spuštěn a používá soubory, které instalace " +
           L"nahrazuje!" + kCr + L"Zvolte OK a instalace jej ukončí." + kCancelEnds;
  return L"Programy " + NameList(names) + L" jsou spuštěny a používají soubory, které " +
         L"instalace nahrazuje!" + kCr + L"Zvolte OK a instalace je ukončí." + kCancelEnds;
}

std::wstring ProgramsStillRunning(const std::vector<std::wstring>& names) {
  if (names.size() == 1)
    return L"Program " + NameList(names) + L" se nepodařilo ukončit." + kCr +
           L"Ukončete jej a zvolte Opakovat." + kCancelEnds;
  return L"Programy " + NameList(names) + L" se nepodařilo ukončit." + kCr +
         L"Ukončete je a zvolte Opakovat." + kCancelEnds;
}

std::wstring EmptyFolderText(const std::wstring& part) {
  return L"Není vyplněn název složky pro součást \"" + part + L"\"!";
}

std::wstring CloseQuestion() {
  return L"Opravdu chcete ukončit instalaci?";
}

std::wstring AbortQuestion() {
  return L"Opravdu chcete přerušit kopírování souborů?";
}

std::wstring RunsForAnotherUser() {
  return L"Instalace VantorPro již na tomto počítači běží pod jiným přihlášeným uživatelem. "
         L"Počkejte, až skončí, a potom ji spusťte znovu.";
}

std::wstring AnotherRunUnderway() {
  return std::wstring(L"Na tomto počítači již probíhá instalace nebo odinstalace aplikace ") +
         L"VantorPro." + kCr + L"Počkejte, až skončí, a instalaci spusťte znovu.";
}

}  // namespace install
