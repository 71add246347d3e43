// pagerake-cli info SOURCE: what an image is before it is scanned: its container format (raw for
// a plain image, disk or partition), the size of the media it holds, the files it is made of, and
// what an EWF set records of the acquisition (case number, examiner, the stored MD5 and SHA-1),
// so that the examiner can note them.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "app/translation.h"
#include "cli/command.h"
#include "cli/help_formatter.h"
#include "source/image_container.h"
#include "source/raw_disk.h"

namespace pagerake::cli {
namespace {

struct InfoOptions {
  std::string source;
  bool json = false;
};

int RunInfo(const InfoOptions& o) {
  ContainerFacts facts;
  facts.format = DetectContainer(o.source);
  if (facts.format == ContainerFormat::kRaw) {
    DiskParameters params;
    if (!QueryDiskParameters(o.source, params)) {
      std::fprintf(stderr, Tr("pagerake-cli: cannot open %s for reading\n").c_str(),
                   o.source.c_str());
      return kExitBadInput;
    }
    facts.mediaBytes = params.totalSectors * 512;
    facts.files.push_back(o.source);
  } else {
    std::string error;
    const std::unique_ptr<ContainerImage> image =
        ContainerImage::Open(o.source, facts.format, error);
    if (!image) {
      std::fprintf(stderr, Tr("pagerake-cli: cannot read %s: %s: %s\n").c_str(), o.source.c_str(),
                   ContainerFormatName(facts.format), error.c_str());
      return kExitBadInput;
    }
    facts = image->facts();
  }
  if (o.json) {
    nlohmann::ordered_json doc;
    doc["source"] = o.source;
    doc["format"] = ContainerFormatName(facts.format);
    doc["media_bytes"] = facts.mediaBytes;
    doc["media_sectors"] = facts.mediaBytes / 512;
    doc["files"] = facts.files;
    nlohmann::ordered_json recorded = nlohmann::ordered_json::object();
    for (const auto& [name, value] : facts.recorded) recorded[name] = value;
    doc["recorded"] = std::move(recorded);
    std::printf("%s\n", doc.dump(2).c_str());
    return kExitOk;
  }
  const auto row = [](const std::string& name, const std::string& value) {
    std::printf("%s %s\n", PadRight(name, 26).c_str(), value.c_str());
  };
  row(Tr("format"), ContainerFormatName(facts.format));
  row(Tr("media size"), Format(Tr("%lld bytes (%lld sectors)"),
                               static_cast<long long>(facts.mediaBytes),
                               static_cast<long long>(facts.mediaBytes / 512)));
  for (size_t i = 0; i < facts.files.size(); ++i) {
    row(i == 0 ? Tr("files") : "", facts.files[i]);
  }
  for (const auto& [name, value] : facts.recorded) {
    std::printf("%-26s %s\n", name.c_str(), value.c_str());
  }
  return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand(
      "info", "Show what an image is: its container format (EWF, VHD, VHDX, VMDK, QCOW or raw), "
              "the size of the media it holds, its files and what an EWF set records of the "
              "acquisition");
  cmd->add_option("SOURCE", o->source, "image file, disk or partition")->required();
  cmd->add_flag("--json", o->json, "print one JSON document");
  cmd->callback([o, &action] { action = [o] { return RunInfo(*o); }; });
}

}  // namespace pagerake::cli
