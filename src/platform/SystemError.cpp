#include "SystemError.h"

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

const char *sentenceFor(int errnum) {
    switch (errnum) {
    case ENOENT:
        return "文件或目录不存在";
    case EACCES:
    case EPERM:
        return "没有访问权限";
    case EEXIST:
        return "文件已存在";
    case ENOTDIR:
        return "路径中的某一项不是目录";
    case EISDIR:
        return "目标是一个目录";
    case ELOOP:
        return "路径是符号链接或链接层级过多";
    case ENOSPC:
        return "磁盘空间不足";
    case EDQUOT:
        return "超出磁盘配额";
    case EROFS:
        return "文件系统为只读";
    case ENAMETOOLONG:
        return "路径过长";
    case EMFILE:
    case ENFILE:
        return "打开的文件过多";
    case EIO:
        return "输入输出错误";
    case ENOTEMPTY:
        return "目录不为空";
    case EXDEV:
        return "不能跨文件系统移动";
    case EBUSY:
        return "资源正忙";
    default:
        return nullptr;
    }
}

} // namespace

QString describeSystemError(int errnum, const QString &path) {
    QString reason;
    if (const char *sentence = sentenceFor(errnum))
        reason = QString::fromUtf8(sentence);
    else
        reason =
            u"系统错误 %1（%2）"_s.arg(errnum).arg(QString::fromLocal8Bit(std::strerror(errnum)));
    if (path.isEmpty())
        return reason + u"。"_s;
    return u"“%1”：%2。"_s.arg(path, reason);
}

} // namespace velmora::platform
