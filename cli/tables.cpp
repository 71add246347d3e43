// pagerake-cli tables / export: what a database file holds, read from its own catalog and data
// pages. `tables` lists the user tables with their columns, the rows the catalog counts, the rows
// decoded and the pages behind them; `export` writes the rows of chosen tables as CSV files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "app/database_file_check.h"
#include "app/database_tables.h"
#include "app/translation.h"
#include "cli/command.h"
#include "source/utf8_path.h"

namespace pagerake::cli {
namespace {

// Exit status when some rows of the tables asked for could not be read.
constexpr int kExitRowsLost = 1;

struct TablesOptions {
  std::string file;
  bool json = false;
  // export
  std::string table;
  bool all = false;
  std::string folder;
  bool schema = false;
  bool ghosts = false;
};

std::string CatalogRowsText(const CatalogTable& t) {
  return t.catalogRows ? std::to_string(*t.catalogRows) : Tr("unknown");
}

// Pages the consistency check refutes, among `pages`.
std::vector<int64_t> Refuted(const std::optional<ConsistencyReport>& check,
                             const std::vector<int64_t>& pages) {
  std::vector<int64_t> out;
  if (!check) return out;
  for (int64_t p : pages) {
    if (p < static_cast<int64_t>(check->standing.size()) &&
        check->standing[static_cast<size_t>(p)] == PageStanding::kRefuted) {
      out.push_back(p);
    }
  }
  return out;
}

bool Lost(const CatalogTable& t, const TableReadResult& r) {
  return !t.layoutProblem.empty() || r.undecoded > 0 || !r.missingPages.empty() ||
         (t.catalogRows && r.rows < *t.catalogRows);
}

nlohmann::json TableJson(const CatalogTable& t, const TableReadResult& r,
                         const std::vector<int64_t>& inconsistent) {
  nlohmann::json columns = nlohmann::json::array();
  for (const TableColumn& c : t.columns) {
    columns.push_back({{"name", c.name}, {"type", SqlTypeName(c.type)}, {"nullable", c.nullable}});
  }
  nlohmann::json problems = nlohmann::json::array();
  for (const RowProblem& p : r.problems) {
    problems.push_back({{"page", p.page}, {"slot", p.slot}, {"why", p.why}});
  }
  return {{"schema", t.schema},
          {"name", t.name},
          {"object_id", t.objectId},
          {"storage", t.heap ? "heap" : "clustered"},
          {"columns", columns},
          {"catalog_rows", t.catalogRows ? nlohmann::json(*t.catalogRows) : nlohmann::json()},
          {"rows_decoded", r.rows},
          {"ghost_records", r.ghosts},
          {"undecoded_records", r.undecoded},
          {"layout_problem", t.layoutProblem},
          {"pages", r.pages},
          {"missing_pages", r.missingPages},
          {"inconsistent_pages", inconsistent},
          {"record_problems", problems}};
}

void PrintTableText(const CatalogTable& t, const TableReadResult& r,
                    const std::vector<int64_t>& inconsistent) {
  std::printf(Tr("%s: %zu columns, %s; rows: %s in the catalog, %lld decoded").c_str(),
              t.QualifiedName().c_str(), t.columns.size(),
              Tr(t.heap ? "heap" : "clustered").c_str(), CatalogRowsText(t).c_str(),
              static_cast<long long>(r.rows));
  if (r.ghosts > 0) {
    std::printf(Tr(", %lld ghost records").c_str(), static_cast<long long>(r.ghosts));
  }
  std::printf(Tr("; pages: %zu read, %zu missing, %zu inconsistent\n").c_str(), r.pages.size(),
              r.missingPages.size(), inconsistent.size());
  if (!t.layoutProblem.empty()) {
    std::printf(("  " + Tr("rows not read: %s") + "\n").c_str(), t.layoutProblem.c_str());
  }
  for (const TableColumn& c : t.columns) {
    std::printf("  %s %s%s\n", c.name.c_str(), SqlTypeName(c.type).c_str(),
                c.nullable ? "" : " NOT NULL");
  }
  for (const RowProblem& p : r.problems) {
    std::printf(("  " + Tr("record at page %lld slot %d not read: %s") + "\n").c_str(),
                static_cast<long long>(p.page), p.slot, p.why.c_str());
  }
  if (r.undecoded > static_cast<int64_t>(r.problems.size())) {
    std::printf(("  " + Tr("... %lld records not read in all") + "\n").c_str(),
                static_cast<long long>(r.undecoded));
  }
}

struct OpenedFile {
  FilePageLookup lookup;
  std::unique_ptr<UnitPages> units;
  Catalog catalog;
};

// Opens the file and reads its catalog; prints why not and returns false when it cannot.
bool OpenCatalog(const std::string& path, OpenedFile& f) {
  std::string why;
  if (!f.lookup.Open(path, why)) {
    std::fprintf(stderr, "pagerake-cli: %s\n", why.c_str());
    return false;
  }
  f.units = std::make_unique<UnitPages>(f.lookup);
  std::optional<Catalog> catalog = ReadCatalog(f.lookup, *f.units, why);
  if (!catalog) {
    std::fprintf(stderr, Tr("pagerake-cli: %s: the tables cannot be listed: %s\n").c_str(),
                 path.c_str(), why.c_str());
    return false;
  }
  f.catalog = std::move(*catalog);
  for (const std::string& p : f.catalog.problems) {
    std::fprintf(stderr, Tr("pagerake-cli: %s: catalog: %s\n").c_str(), path.c_str(), p.c_str());
  }
  return true;
}

int RunTables(const TablesOptions& o) {
  OpenedFile f;
  if (!OpenCatalog(o.file, f)) return kExitBadInput;
  const std::optional<ConsistencyReport> check = CheckDatabaseFile(o.file);
  TableReader reader(f.lookup, *f.units);
  nlohmann::json tables = nlohmann::json::array();
  bool lost = false;
  for (const CatalogTable& t : f.catalog.tables) {
    const TableReadResult r = reader.Read(t, false, [](const TableRow&) {});
    const std::vector<int64_t> inconsistent = Refuted(check, r.pages);
    lost = lost || Lost(t, r) || !inconsistent.empty();
    if (o.json) {
      tables.push_back(TableJson(t, r, inconsistent));
    } else {
      PrintTableText(t, r, inconsistent);
    }
  }
  if (o.json) {
    const nlohmann::json doc = {{"file", o.file},
                                {"database_version", f.catalog.version},
                                {"catalog_problems", f.catalog.problems},
                                {"tables", tables}};
    std::printf("%s\n", doc.dump(2).c_str());
  } else {
    std::printf(Tr("%zu user tables\n").c_str(), f.catalog.tables.size());
  }
  return lost ? kExitRowsLost : kExitOk;
}

bool Matches(const CatalogTable& t, const std::string& wanted) {
  return wanted == t.name || wanted == t.QualifiedName();
}

int RunExport(const TablesOptions& o) {
  OpenedFile f;
  if (!OpenCatalog(o.file, f)) return kExitBadInput;
  std::vector<const CatalogTable*> chosen;
  for (const CatalogTable& t : f.catalog.tables) {
    if (o.all || Matches(t, o.table)) chosen.push_back(&t);
  }
  if (chosen.empty()) {
    std::fprintf(stderr, Tr("pagerake-cli: %s holds no user table named %s\n").c_str(),
                 o.file.c_str(), o.table.c_str());
    return kExitBadInput;
  }
  std::error_code error;
  std::filesystem::create_directories(Utf8Path(o.folder), error);
  if (!std::filesystem::is_directory(Utf8Path(o.folder))) {
    std::fprintf(stderr, Tr("pagerake-cli: cannot make the folder %s\n").c_str(), o.folder.c_str());
    return kExitBadInput;
  }
  TableReader reader(f.lookup, *f.units);
  bool lost = false;
  std::string schema;
  for (const CatalogTable* t : chosen) {
    const std::string path = PathUtf8(Utf8Path(o.folder) / Utf8Path(CsvFileName(*t)));
    TableReadResult r;
    std::string why;
    if (!ExportTable(reader, *t, path, o.ghosts, r, why)) {
      std::fprintf(stderr, "pagerake-cli: %s\n", why.c_str());
      return kExitBadInput;
    }
    lost = lost || Lost(*t, r);
    std::printf(Tr("%s: %lld rows written, the catalog counts %s").c_str(),
                t->QualifiedName().c_str(), static_cast<long long>(r.rows),
                CatalogRowsText(*t).c_str());
    if (!r.missingPages.empty()) {
      std::printf(Tr("; %zu pages missing").c_str(), r.missingPages.size());
    }
    if (r.undecoded > 0) {
      std::printf(Tr("; %lld records not read").c_str(), static_cast<long long>(r.undecoded));
    }
    if (!t->layoutProblem.empty()) {
      std::printf(Tr("; rows not read: %s").c_str(), t->layoutProblem.c_str());
    }
    std::printf(" -> %s\n", path.c_str());
    schema += CreateTableStatement(*t) + "\n";
  }
  if (o.schema) {
    const std::string path = PathUtf8(Utf8Path(o.folder) / "schema.sql");
    std::string why;
    if (!WriteTextFile(path, schema, why)) {
      std::fprintf(stderr, "pagerake-cli: %s\n", why.c_str());
      return kExitBadInput;
    }
    std::printf(Tr("schema -> %s\n").c_str(), path.c_str());
  }
  return lost ? kExitRowsLost : kExitOk;
}

}  // namespace

void AddTablesCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<TablesOptions>();
  CLI::App* tables = app.add_subcommand(
      "tables", "List the user tables of a data file: columns, rows the catalog counts, rows "
                "decoded, and their pages (read, missing, inconsistent)");
  tables->add_option("FILE", options->file, "data file (.mdf)")->required();
  tables->add_flag("--json", options->json, "print one JSON document instead of text");
  tables->callback([options, &action] { action = [options] { return RunTables(*options); }; });

  CLI::App* exp = app.add_subcommand(
      "export", "Write the rows of a data file's tables as CSV files, one SCHEMA.TABLE.csv each");
  exp->add_option("FILE", options->file, "data file (.mdf)")->required();
  auto* table = exp->add_option("--table", options->table, "the table: [SCHEMA.]NAME");
  auto* all = exp->add_flag("--all", options->all, "every user table");
  table->excludes(all);
  exp->add_option("-o,--output", options->folder, "folder to write into")->required();
  exp->add_flag("--schema", options->schema,
                "also write schema.sql: CREATE TABLE statements for the tables written");
  exp->add_flag("--ghosts", options->ghosts,
                "also write ghost records (deleted rows not yet cleaned away), marked 1 in a "
                "first column \"ghost\"");
  exp->callback([options, &action] {
    if (options->table.empty() && !options->all) throw CLI::RequiredError("--table or --all");
    action = [options] { return RunExport(*options); };
  });
}

}  // namespace pagerake::cli
