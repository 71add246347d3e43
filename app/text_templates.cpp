#include "app/text_templates.h"

namespace pagerake {
namespace {

// The lines that carry a name, a path or a reason besides fixed text and numbers, as po/en.po
// (and every catalog) holds them: %s stands for the free text, %d for a number. A line is
// matched against them in this order, so where two could match the same line the one with the
// longer fixed text comes first. scripts/check-catalog checks this list against the catalog.
constexpr const char* kTemplates[] = {
    "尾部扇区文件与碎片内容文件不符,已忽略(尾部搜索不可用):%s",
    "error,输出位置在正在读取的设备上,不能写入(请写到另一块磁盘):%s",
    "error,输出文件就是打开的碎片内容文件,不能写入:%s",
    "“开始页面号范围 >=” 中的内容不是数字: %s",
    "“开始页面号范围 <” 中的内容不是数字: %s",
    "error,输出文件就是数据源,不能写入:%s",
    "“开始页面号小于” 中的内容不是数字: %s",
    "“含如ID的碎片” 中的内容不是数字: %s",
    "“结束扇区” 必须大于“开始扇区”: %s",
    "“每簇扇区数” 中的内容不是数字: %s",
    "演示镜像(DEMO IMAGE): %s",
    "镜像文件(IMAGE FILE): %s",
    "“开始扇区” 中的内容不是数字: %s",
    "“结束扇区” 中的内容不是数字: %s",
    "“文件ID” 中的内容不是数字: %s",
    "“页码范围” 中的内容不是数字: %s",
    "“往下范围” 中的内容不是数字: %s",
    "error,无法保存文件:%s(%s)",
    "“每簇扇区数” 必须大于%d: %s",
    "“开始扇区” 不能小于%d: %s",
    "error,写入文件失败:%s",
    "error,无法创建文件%s",
    "%s: 已导出%d行 -> %s",
    "%s:%dKB(无文件头)",
    "无法打开数据源: %s",
    "无效文件头 %s",
    "报告无法写入: %s",
    "%s: 无法导出: %s",
    "页面%d无法重建:%s",
    "已导出%d个表到 %s",
    "逻辑分区 %s ",
    "报告: %s",
};

}  // namespace

std::span<const char* const> NamedTextTemplates() { return kTemplates; }

}  // namespace pagerake
