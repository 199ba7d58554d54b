#include "ServedData.h"

#include "DataAnalyzer.h"
#include "ScanRecord.h"
#include "ServerReply.h"

#include <cstring>

ServedScan::ServedScan(const ScanRecord& scan, double groupPosition)
    : position(groupPosition), time(scan.resolvedTime), V(scan.corrected.V), I(scan.corrected.I),
      result(scan.result)
{
}

bool ServedScan::sameAs(const ScanRecord& scan, double groupPosition) const
{
    // Bit for bit: not-a-number results compare equal to themselves.
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    return same(position, groupPosition) && same(time, scan.resolvedTime)
        && V.constData() == scan.corrected.V.constData() && V.size() == scan.corrected.V.size()
        && I.constData() == scan.corrected.I.constData() && I.size() == scan.corrected.I.size()
        && std::memcmp(result.raw().data(), scan.result.raw().data(), sizeof(double) * result.raw().size()) == 0;
}

bool ServedDataBuilder::unchanged(const DataAnalyzer* session) const
{
    if (!m_last)
        return false;
    const int groups = session ? session->groupCount() : 0;
    if (groups != m_last->groups.size())
        return false;
    for (int g = 0; g < groups; ++g) {
        const ScanGroup* group = session->group(g);
        const ServedData::Group& served = m_last->groups[g];
        if (group->scans.size() != served.size())
            return false;
        for (int i = 0; i < served.size(); ++i)
            if (!served[i]->sameAs(group->scans[i], group->position))
                return false;
    }
    return true;
}

std::shared_ptr<const ServedData> ServedDataBuilder::update(const DataAnalyzer* session)
{
    if (unchanged(session))
        return m_last;
    auto next = std::make_shared<ServedData>();
    const int groups = session ? session->groupCount() : 0;
    next->groups.reserve(groups);
    for (int g = 0; g < groups; ++g) {
        const ScanGroup* group = session->group(g);
        const ServedData::Group* before = m_last && g < m_last->groups.size() ? &m_last->groups[g] : nullptr;
        ServedData::Group out;
        out.reserve(group->scans.size());
        for (int i = 0; i < group->scans.size(); ++i) {
            const ScanRecord& scan = group->scans[i];
            if (before && i < before->size() && (*before)[i]->sameAs(scan, group->position))
                out.append((*before)[i]);
            else
                out.append(std::make_shared<const ServedScan>(scan, group->position));
        }
        next->groups.append(std::move(out));
    }
    next->generation = ++m_generation;
    m_last = std::move(next);
    return m_last;
}

QByteArray servedGroupsText(const ServedData& data)
{
    qsizetype size = 0;
    for (const ServedData::Group& group : data.groups)
        for (const auto& scan : group) {
            if (scan->text.isNull())
                scan->text = ServerReply::scanText(scan->V, scan->I, scan->position, scan->time, scan->result);
            size += scan->text.size() + 8;
        }
    QByteArray b;
    b.reserve(int(size) + 8 * data.groups.size());
    for (int g = 0; g < data.groups.size(); ++g) {
        b += "[\r\n";
        const ServedData::Group& group = data.groups[g];
        for (int i = 0; i < group.size(); ++i) {
            b += group[i]->text;
            b += ServerReply::scanClose(i + 1 == group.size());
        }
        b += ServerReply::groupClose(g + 1 == data.groups.size());
    }
    return b;
}
