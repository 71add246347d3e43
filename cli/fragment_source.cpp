#include "cli/fragment_source.h"

#include <chrono>

#include "app/scan_command.h"
#include "app/source_choice.h"
#include "fragments/scan_info_file.h"

namespace pagerake::cli {

void AddFragmentSourceOptions(CLI::App* cmd, FragmentSourceOptions& o) {
  CLI::Option* source = cmd->add_option(
      "SOURCE", o.source,
      "image file or device: scanned for the fragments, or with --info read for their pages");
  CLI::Option* volume =
      cmd->add_flag("--volume", o.volume, "read SOURCE as one volume")->needs(source);
  cmd->add_flag("--disk", o.disk, "read SOURCE as a whole disk")->needs(source)->excludes(volume);
  CLI::Option* info = cmd->add_option("--info", o.info, "scan-info file of a saved scan");
  cmd->add_option("--content", o.content, "fragment content file saved with --info")
      ->needs(info)
      ->excludes(source);
}

void CheckFragmentSource(const FragmentSourceOptions& o) {
  if (!o.source && !o.info) throw CLI::RequiredError("SOURCE or --info");
  if (o.info && !o.content && !o.source) {
    throw CLI::ValidationError("--info",
                               "without --content the pages are read from SOURCE: name it");
  }
}

bool LoadFragments(const FragmentSourceOptions& o, Session& session, Host& host,
                   const std::function<void()>& whileScanning) {
  if (o.source) {
    const SourceLayout layout = o.volume ? SourceLayout::kVolume
                                : o.disk ? SourceLayout::kWholeDisk
                                         : SourceLayout::kDetect;
    if (!OpenImageSource(session, host, *o.source, layout)) return false;
    if (!o.info) {
      if (!ClickScanButton(session, host)) return false;
      while (!session.jobs.WaitIdle(std::chrono::milliseconds(200))) {
        if (whileScanning) whileScanning();
      }
      session.jobs.JoinAll();
      return true;
    }
  }
  std::string edtsecs;  // empty: the cluster size from the content file, or the source's
  if (!o.content) edtsecs = std::to_string(session.dataSource.sectorsPerCluster);
  const OpenScanInfoResult r = OpenScanInfoFiles(
      {session.fragmentTable, session.fragmentList, session.pageOrderIndex, session.pageAccess,
       session.dataSource.sectorsPerCluster, edtsecs},
      o.info, o.content, host);
  return !r.failed;
}

}  // namespace pagerake::cli
