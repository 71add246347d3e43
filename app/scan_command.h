// The window commands that start and stop a scan, and the reading of the scan's options from the
// option fields.
#pragma once

#include <optional>
#include <string>

#include "app/session.h"
#include "base/host.h"
#include "scan/scan_job.h"

namespace pagerake {

// The scan options in the option fields, or the message that names the field that is wrong:
// a text that is not a whole number, a begin below 0, a step of 0 or less, an end not above the
// begin, or (when "开始页面号小于" is ticked) a page number that is not a number.
struct ParsedScanOptions {
  std::optional<ScanOptions> options;
  std::string error;
};
ParsedScanOptions ParseScanFields(const ScanFields& fields);

// StartScan (menu "开始扫描(SCAN)"): without a chosen source shows "请选择数据源！" (caption
// "提示", warning icon), puts the focus into the data-source field and stops. Reads the options
// from the fields; a wrong field is named in a message and nothing starts. Otherwise shows the
// data-source tab, disables btnscan, clears ScanStopped, sets JobKind "scan" and starts the scan
// job on a TMyThread, which waits while another job runs. `host` must outlive the job. True when
// a job was started.
bool StartScan(Session& session, Host& host);

// The button btnscan: copies "文件ID" (Edit2) into CurrentFileId as a 16-bit number, then
// StartScan. A text that is not a number is named in a message and nothing starts.
bool ClickScanButton(Session& session, Host& host);

// StopScan (menu and button "停止扫描(STOP)"): ScanStopped := true. The running scan sees it at its
// next position; nothing waits for it. When it has stopped, "开始扇区" holds the sector it
// stopped at.
void StopScan(Session& session);

// The memo line of a stopped scan: where it stopped, which is now the "开始扇区", so that the next
// scan goes on from there.
std::string StoppedAtLine(int64_t sector);

// For commands that change the fragment table: while a scan job has not ended (STOP only asks it
// to), says "尚未扫描结束" and returns true.
bool RefusedWhileScanning(const Session& session, Host& host);

}  // namespace pagerake
