#include "platform/regexp/RegExp.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"

#include <QRegularExpression>

namespace {
class Match : public ComObject<IMatch>
{
public:
    explicit Match(const QRegularExpressionMatch& match) : m_match(match) {}
    QString Value() const override { return m_match.captured(0); }
    int FirstIndex() const override { return static_cast<int>(m_match.capturedStart(0)); }
    int Length() const override { return static_cast<int>(m_match.capturedLength(0)); }
    QStringList SubMatches() const override
    {
        QStringList groups;
        for (int i = 1; i <= m_match.lastCapturedIndex(); ++i)
            groups << m_match.captured(i);
        for (qsizetype i = groups.size(); i < m_match.regularExpression().captureCount(); ++i)
            groups << QString();
        return groups;
    }

private:
    QRegularExpressionMatch m_match;
};

class MatchCollection : public ComObject<IMatchCollection>
{
public:
    explicit MatchCollection(QList<QRegularExpressionMatch> matches) : m_matches(std::move(matches))
    {
    }
    int Count() const override { return static_cast<int>(m_matches.size()); }
    ComPtr<IMatch> Item(int index) const override
    {
        if (index < 0 || index >= m_matches.size())
            raiseError(ErrInvalidProcedureCall, QStringLiteral("MatchCollection"));
        return ComPtr<IMatch>::adopt(new Match(m_matches.at(index)));
    }

private:
    QList<QRegularExpressionMatch> m_matches;
};

class RegExp : public ComObject<IDispatch>
{
public:
    RegExp()
    {
        const auto flag = [this](const char* name, bool* value) {
            m_table.addProperty(
                QString::fromLatin1(name), [value] { return *value; },
                [value](const QVariant& v) { *value = v.toBool(); });
        };
        flag("Global", &m_global);
        flag("IgnoreCase", &m_ignoreCase);
        flag("MultiLine", &m_multiLine);
        m_table.addProperty(
            QStringLiteral("Pattern"), [this] { return m_pattern; },
            [this](const QVariant& v) { m_pattern = v.toString(); });
        m_table.addMethod(QStringLiteral("Execute"), [this](const QVariantList& args) {
            return QVariant::fromValue(static_cast<IUnknown*>(execute(args.value(0).toString())));
        });
    }
    HRESULT GetPropertyNames(QStringList* names) override { return m_table.propertyNames(names); }
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& args,
                   QVariant* result) override
    {
        return m_table.invoke(member, kind, args, result);
    }

private:
    // The caller receives one reference to the collection.
    IMatchCollection* execute(const QString& text) const
    {
        QRegularExpression::PatternOptions options;
        if (m_ignoreCase)
            options |= QRegularExpression::CaseInsensitiveOption;
        if (m_multiLine)
            options |= QRegularExpression::MultilineOption;
        const QRegularExpression expression(m_pattern, options);
        if (!expression.isValid())
            raiseError(ErrRegExpSyntax, QStringLiteral("Microsoft VBScript runtime error"),
                       QStringLiteral("Syntax error in regular expression: ") +
                           expression.errorString());
        QList<QRegularExpressionMatch> matches;
        if (m_global) {
            auto iterator = expression.globalMatch(text);
            while (iterator.hasNext())
                matches << iterator.next();
        } else if (const auto match = expression.match(text); match.hasMatch()) {
            matches << match;
        }
        return new MatchCollection(std::move(matches));
    }

    DispatchTable m_table;
    bool m_global = false;
    bool m_ignoreCase = false;
    bool m_multiLine = false;
    QString m_pattern;
};
} // namespace

void registerRegExpClass()
{
    registerLocalClass(CLSID_RegExp, [](const GUID& iid, void** object) {
        ComPtr<IDispatch> regExp = ComPtr<IDispatch>::adopt(new RegExp);
        return regExp->QueryInterface(iid, object);
    });
    registerProgId(QStringLiteral("VBScript.RegExp"), CLSID_RegExp);
}
