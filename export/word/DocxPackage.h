#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// An Office Open XML package held in memory: its parts by name, in the order of the archive.
// Parts that nobody replaces are written back byte for byte.
class DocxPackage final
{
public:
    DocxPackage() = default;

    // Reads a package from a file or from its bytes; throws EWordError when it is not a zip
    // archive. `what` names the source in messages.
    static DocxPackage Open(const QString& path);
    static DocxPackage FromBytes(const QByteArray& bytes, const QString& what);

    QStringList PartNames() const;
    bool HasPart(const QString& name) const;
    // Throws EWordError when the package has no such part.
    QByteArray Part(const QString& name) const;
    // Replaces a part, or appends it when the package has none of that name.
    void SetPart(const QString& name, const QByteArray& data);

    // The name of the main document part, as the package relationships give it.
    QString MainDocumentPart() const;

    QByteArray ToBytes() const;
    // Writes a temporary file beside the target and renames it over the target, so a failure
    // leaves either the old file or none. Throws EWordError naming the path. Returns the
    // bytes written.
    QByteArray SaveAs(const QString& path) const;

private:
    struct Entry
    {
        QByteArray name; // as stored in the archive
        QByteArray data;
    };

    const Entry* Find(const QString& name) const;

    std::vector<Entry> m_parts;
};
