#include "RarWriter.h"

#include <zlib.h>

#include <fstream>
#include <stdexcept>

namespace rartest {
namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutVint(std::string& out, uint64_t v) {
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v) b |= 0x80;
    out += static_cast<char>(b);
  } while (v);
}

// One piece of an entry inside one volume.
struct Part {
  const Item* item;
  std::string data;
  bool before, after;
  uint32_t crc;  // of this part, or of the whole file for the last part
  size_t wholeSize;
};

// Distributes the entries over volumes of about volumeSize data bytes each.
// RAR 4 keeps a link's target as the entry's data.
std::vector<std::vector<Part>> Distribute(const std::vector<Item>& items, size_t volumeSize,
                                          bool linkAsData) {
  std::vector<std::vector<Part>> volumes(1);
  size_t room = volumeSize;
  for (const Item& item : items) {
    std::string data = linkAsData && !item.linkTarget.empty() ? item.linkTarget : item.data;
    const size_t wholeSize = data.size();
    const uint32_t whole = Crc32(data);
    if (!item.packed.empty()) data = item.packed;
    if (item.damageData && !data.empty()) data[0] = static_cast<char>(data[0] ^ 0xFF);
    size_t offset = 0;
    bool first = true;
    do {
      if (volumeSize && room == 0) {
        volumes.emplace_back();
        room = volumeSize;
      }
      size_t take = data.size() - offset;
      if (volumeSize && take > room) take = room;
      std::string piece = data.substr(offset, take);
      offset += take;
      const bool last = offset == data.size();
      volumes.back().push_back(
          {&item, piece, !first, !last, last ? whole : Crc32(piece), wholeSize});
      if (volumeSize) room -= std::min(room, take == 0 ? size_t{0} : take);
      first = false;
    } while (offset < data.size());
  }
  return volumes;
}

std::string Rar4Block(uint8_t type, uint16_t flags, const std::string& body, bool damage = false) {
  std::string header;
  header += static_cast<char>(type);
  Put16(header, flags);
  Put16(header, static_cast<uint32_t>(body.size() + 7));
  header += body;
  uint32_t crc = Crc32(header) & 0xFFFF;
  if (damage) crc ^= 1;
  std::string out;
  Put16(out, crc);
  return out + header;
}

std::string Rar4Name(const Item& item, uint16_t& flags) {
  bool ascii = true;
  for (unsigned char c : item.name) ascii = ascii && c < 0x80;
  if (ascii) return item.name;
  flags |= 0x200;
  if (!item.encodedUnicodeName) return item.name;  // UTF-8 without a zero: read as UTF-8
  // ASCII fallback, a zero, then the wide form: high byte 0 and every character as two bytes.
  std::u32string wide;
  for (size_t i = 0; i < item.name.size();) {
    unsigned char c = item.name[i];
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (item.name[i + k] & 0x3F);
    wide += cp;
    i += n;
  }
  std::string out;
  for (char32_t cp : wide) out += cp < 0x80 ? static_cast<char>(cp) : '?';
  out += '\0';
  out += '\0';  // high byte
  for (size_t i = 0; i < wide.size(); ++i) {
    if (i % 4 == 0) out += static_cast<char>(0xAA);  // four characters of mode 2
    Put16(out, static_cast<uint32_t>(wide[i]));
  }
  return out;
}

std::string Rar4File(const Part& part, uint8_t type = 0x74) {
  const Item& item = *part.item;
  uint16_t flags = 0x8000;
  if (part.before) flags |= 0x01;
  if (part.after) flags |= 0x02;
  if (item.encrypted) flags |= 0x04;
  if (item.solid) flags |= 0x10;
  flags |= static_cast<uint16_t>((item.folder ? 7 : item.dictionary & 7) << 5);
  const std::string name = Rar4Name(item, flags);
  std::string body;
  Put32(body, static_cast<uint32_t>(part.data.size()));
  Put32(body, static_cast<uint32_t>(part.wholeSize));
  body += static_cast<char>(item.hostOS);
  Put32(body, part.crc);
  Put32(body, item.dosTime);
  body += static_cast<char>(item.unpVer);
  body += static_cast<char>(item.packed.empty() ? 0x30 : item.method);
  Put16(body, static_cast<uint32_t>(name.size()));
  Put32(body, item.folder && item.attributes == 0x20 ? 0x10 : item.attributes);
  if (item.highUnpSize) {
    flags |= 0x100;
    Put32(body, 0);  // high half of the packed size
    Put32(body, item.highUnpSize);
  }
  body += name;
  return Rar4Block(type, flags, body, item.damageHeader) + part.data;
}

std::string Rar5Block(uint64_t type, uint64_t flags, const std::string& fields, uint64_t dataSize,
                      const std::string& extra = {}, bool damage = false) {
  std::string header;
  PutVint(header, type);
  PutVint(header, flags | (extra.empty() ? 0 : 1) | (dataSize || (flags & 2) ? 2 : 0));
  if (!extra.empty()) PutVint(header, extra.size());
  if (dataSize || (flags & 2)) PutVint(header, dataSize);
  header += fields;
  header += extra;
  std::string sized;
  PutVint(sized, header.size());
  sized += header;
  uint32_t crc = Crc32(sized);
  if (damage) crc ^= 1;
  std::string out;
  Put32(out, crc);
  return out + sized;
}

std::string Rar5File(const Part& part, uint64_t type = 2) {
  const Item& item = *part.item;
  std::string fields;
  PutVint(fields, (item.folder ? 1 : 0) | 2 | 4);
  PutVint(fields, part.wholeSize);
  PutVint(fields, item.folder && item.attributes == 0x20 ? 0x10 : item.attributes);
  Put32(fields, item.unixTime);
  Put32(fields, part.crc);
  PutVint(fields, !item.packed.empty()
                      ? item.compression
                      : (item.solid ? 0x40 : 0) | (uint64_t{item.dictionary & 15} << 10));
  PutVint(fields, item.hostOS == 3 ? 1 : 0);
  PutVint(fields, item.name.size());
  fields += item.name;
  std::string extra;
  if (!item.linkTarget.empty()) {
    std::string record;
    PutVint(record, 5);  // redirection
    PutVint(record, item.redirType);
    PutVint(record, 0);
    PutVint(record, item.linkTarget.size());
    record += item.linkTarget;
    PutVint(extra, record.size());
    extra += record;
  }
  if (item.encrypted) {
    std::string record;
    PutVint(record, 1);                 // file encryption
    PutVint(record, 0);                 // AES-256
    PutVint(record, 0);                 // flags
    record += '\x0F';                   // KDF count
    record += std::string(32, '\x5A');  // salt and IV
    PutVint(extra, record.size());
    extra += record;
  }
  uint64_t flags = 2;
  if (part.before) flags |= 0x08;
  if (part.after) flags |= 0x10;
  return Rar5Block(type, flags, fields, part.data.size(), extra, item.damageHeader) + part.data;
}

// The archive comment as a service entry: the stored text, or the packed comment as given.
bool CommentItem(const Options& options, Item& comment) {
  if (!options.packedComment.packed.empty()) {
    comment = options.packedComment;
  } else if (!options.comment.empty()) {
    comment.data = options.comment;
  } else {
    return false;
  }
  comment.name = "CMT";
  comment.attributes = 0;
  return true;
}

Part CommentPart(const Item& comment) {
  return {&comment,
          comment.packed.empty() ? comment.data : comment.packed,
          false,
          false,
          Crc32(comment.data),
          comment.data.size()};
}

}  // namespace

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::vector<std::string> WriteRar4(const std::vector<Item>& items, const Options& options) {
  const auto volumes = Distribute(items, options.volumeSize, true);
  std::vector<std::string> out;
  for (size_t v = 0; v < volumes.size(); ++v) {
    const bool multi = volumes.size() > 1;
    std::string archive("Rar!\x1A\x07\x00", 7);
    uint16_t flags = 0;
    if (multi) flags |= 0x01 | (options.oldNumbering ? 0 : 0x10) | (v == 0 ? 0x100 : 0);
    if (options.locked) flags |= 0x04;
    if (options.solid) flags |= 0x08;
    if (options.recovery) flags |= 0x40;
    if (options.encryptedHeaders) flags |= 0x80;
    std::string mainBody(6, '\0');
    if (!options.oldComment.empty() && v == 0) {
      flags |= 0x02;
      std::string fields;
      Put16(fields, static_cast<uint32_t>(options.oldComment.size()));
      fields += '\x14';  // version 2.0
      fields += '\x30';  // stored
      Put16(fields, Crc32(options.oldComment) & 0xFFFF);
      mainBody += Rar4Block(0x75, 0, fields + options.oldComment);
    }
    archive += Rar4Block(0x73, flags, mainBody);
    if (options.encryptedHeaders) {
      archive += std::string(64, '\x33');  // salt and ciphertext we could not read either
      out.push_back(archive);
      continue;
    }
    Item comment;
    if (v == 0 && CommentItem(options, comment)) archive += Rar4File(CommentPart(comment), 0x7A);
    for (const Part& part : volumes[v]) archive += Rar4File(part);
    if (options.withEndBlock)
      archive += Rar4Block(0x7B, 0x4000 | (v + 1 < volumes.size() ? 0x01 : 0), {});
    out.push_back(archive);
  }
  return out;
}

std::vector<std::string> WriteRar5(const std::vector<Item>& items, const Options& options) {
  const auto volumes = Distribute(items, options.volumeSize, false);
  std::vector<std::string> out;
  for (size_t v = 0; v < volumes.size(); ++v) {
    const bool multi = volumes.size() > 1;
    std::string archive("Rar!\x1A\x07\x01\x00", 8);
    if (options.encryptedHeaders) {
      std::string fields;
      PutVint(fields, 0);  // AES-256
      PutVint(fields, 0);  // no check value
      fields += '\x0F';
      fields += std::string(16, '\x11');
      archive += Rar5Block(4, 0, fields, 0);
      archive += std::string(64, '\x33');
      out.push_back(archive);
      continue;
    }
    uint64_t archiveFlags = 0;
    if (multi) archiveFlags |= 0x01 | (v > 0 ? 0x02 : 0);
    if (options.solid) archiveFlags |= 0x04;
    if (options.recovery) archiveFlags |= 0x08;
    if (options.locked) archiveFlags |= 0x10;
    std::string fields;
    PutVint(fields, archiveFlags);
    if (multi && v > 0) PutVint(fields, v);
    archive += Rar5Block(1, 0, fields, 0);
    Item comment;
    if (v == 0 && CommentItem(options, comment)) archive += Rar5File(CommentPart(comment), 3);
    for (const Part& part : volumes[v]) archive += Rar5File(part);
    if (options.withEndBlock) {
      std::string end;
      PutVint(end, v + 1 < volumes.size() ? 1 : 0);
      archive += Rar5Block(5, 0, end, 0);
    }
    out.push_back(archive);
  }
  return out;
}

std::vector<std::string> SaveVolumes(const std::vector<std::string>& volumes,
                                     const std::string& folder, const std::string& base,
                                     bool oldNumbering) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < volumes.size(); ++i) {
    std::string name;
    if (volumes.size() == 1)
      name = base + ".rar";
    else if (oldNumbering)
      name = base + (i == 0 ? std::string(".rar")
                            : ".r" + std::string(i - 1 < 10 ? "0" : "") + std::to_string(i - 1));
    else
      name = base + ".part" + std::to_string(i + 1) + ".rar";
    const std::string path = folder + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw std::runtime_error("cannot write " + path);
    file.write(volumes[i].data(), static_cast<std::streamsize>(volumes[i].size()));
    paths.push_back(path);
  }
  return paths;
}

}  // namespace rartest
