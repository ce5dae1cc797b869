#!/usr/bin/python3
"""Writes a corpus of DMARC aggregate reports for measuring the reader.

make_dmarc_corpus.py FOLDER [REPORTS] [RECORDS_PER_REPORT]

A third of the reports as .xml.gz files, a third as .zip files, a third as
mail in a Maildir (FOLDER/Maildir), each attached as a base64 zip, as large
receivers send them. Addresses come from the documentation ranges and a
private /8 so that no real host is named. Defaults: 10,000 reports of 100
records (a million records).
"""

import gzip
import io
import os
import sys
import zipfile
from email.message import EmailMessage

RECORD = """  <record>
    <row>
      <source_ip>{ip}</source_ip>
      <count>{count}</count>
      <policy_evaluated>
        <disposition>none</disposition>
        <dkim>{dkim}</dkim>
        <spf>{spf}</spf>
      </policy_evaluated>
    </row>
    <identifiers>
      <header_from>example.org</header_from>
      <envelope_from>bounce.example.org</envelope_from>
    </identifiers>
    <auth_results>
      <dkim>
        <domain>example.org</domain>
        <selector>s1</selector>
        <result>{dkim}</result>
      </dkim>
      <spf>
        <domain>bounce.example.org</domain>
        <result>{spf}</result>
      </spf>
    </auth_results>
  </record>
"""

HEAD = """<?xml version="1.0" encoding="UTF-8" ?>
<feedback>
  <report_metadata>
    <org_name>receiver{n}.example</org_name>
    <email>noreply-dmarc@receiver{n}.example</email>
    <report_id>{report_id}</report_id>
    <date_range>
      <begin>{begin}</begin>
      <end>{end}</end>
    </date_range>
  </report_metadata>
  <policy_published>
    <domain>example.org</domain>
    <adkim>r</adkim>
    <aspf>r</aspf>
    <p>none</p>
    <sp>none</sp>
    <pct>100</pct>
  </policy_published>
"""


def report_xml(number, records):
    begin = 1767225600 + (number % 30) * 86400
    parts = [HEAD.format(n=number % 50, report_id=f"r{number}", begin=begin, end=begin + 86399)]
    for i in range(records):
        k = number * records + i
        ip = f"10.{(k >> 16) & 255}.{(k >> 8) & 255}.{k & 255}"
        passed = "pass" if k % 7 else "fail"
        parts.append(RECORD.format(ip=ip, count=1 + k % 97, dkim=passed, spf=passed))
    parts.append("</feedback>\n")
    return "".join(parts).encode()


def zipped(name, data):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(name, data)
    return buffer.getvalue()


def main():
    folder = sys.argv[1]
    reports = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    records = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    maildir = os.path.join(folder, "Maildir")
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(maildir, sub), exist_ok=True)
    for number in range(reports):
        name = f"receiver{number % 50}.example!example.org!{number}!{number + 1}.xml"
        data = report_xml(number, records)
        if number % 3 == 0:
            with open(os.path.join(folder, name + ".gz"), "wb") as out:
                out.write(gzip.compress(data))
        elif number % 3 == 1:
            with open(os.path.join(folder, name[:-4] + ".zip"), "wb") as out:
                out.write(zipped(name, data))
        else:
            message = EmailMessage()
            message["From"] = f"noreply-dmarc@receiver{number % 50}.example"
            message["To"] = "dmarc@example.org"
            message["Subject"] = f"Report domain: example.org Report-ID: r{number}"
            message.set_content("A DMARC aggregate report is attached.")
            message.add_attachment(zipped(name, data), maintype="application", subtype="zip",
                                   filename=name[:-4] + ".zip")
            with open(os.path.join(maildir, "cur", f"{number}.M1P1.bench:2,S"), "wb") as out:
                out.write(message.as_bytes())


if __name__ == "__main__":
    main()
