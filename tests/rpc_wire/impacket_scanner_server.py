#!/usr/bin/python3
"""ScannerService answered by an independent DCE RPC implementation.

Runs impacket's DCERPCServer twice on 127.0.0.1: once with the ScannerService
operations, written with impacket's NDR classes, and once as an endpoint
mapper whose ept_map returns an ncacn_ip_tcp tower for ScannerService. Prints
"EPMAP <port> SCANNER <port>" and serves until its standard input closes or two minutes
pass, whichever comes first.

The answers are computed from the request, so a client that gets them back
has also been understood: see impacket_interop_test.cpp for the values.
"""
import os
import select
import socket
import struct
import sys
import traceback

from impacket.dcerpc.v5 import epm
from impacket.dcerpc.v5.dtypes import LONG, ULONG, BYTE, STR
from impacket.dcerpc.v5.ndr import NDRCALL, NDRUniConformantArray
from impacket.dcerpc.v5.rpcrt import DCERPCServer, PFC_FIRST_FRAG, PFC_LAST_FRAG
from impacket.uuid import uuidtup_to_bin

SCANNER = ('db08f627-f2e9-11d0-9382-00c04fc9c7d4', '1.0')
NDR = ('8a885d04-1ceb-11c9-9fe8-08002b104860', '2.0')
EPMAPPER = ('e1af8308-5d1f-11c9-91a4-08002b14a0fa', '3.0')


class CHAR_ARRAY(NDRUniConformantArray):
    item = 'c'


class WCHAR_ARRAY(NDRUniConformantArray):
    item = '<H'


# One request and one response class per operation, in operation order.
class RemoteCheckOutScanner(NDRCALL):
    opnum = 0
    structure = (('value', LONG), ('computerName', CHAR_ARRAY), ('computerNameSize', ULONG),
                 ('password', CHAR_ARRAY), ('passwordSize', ULONG), ('message', CHAR_ARRAY),
                 ('messageSize', ULONG), ('status', LONG))


class RemoteCheckOutScannerResponse(NDRCALL):
    structure = (('message', CHAR_ARRAY), ('status', LONG), ('ErrorCode', LONG))


class RemoteCheckOutScannerWithID(NDRCALL):
    opnum = 1
    structure = (('value', LONG), ('scannerId', STR))


class RemoteGetScannerID(NDRCALL):
    opnum = 2
    structure = (('idSize', ULONG),)


class RemoteGetScannerIDResponse(NDRCALL):
    structure = (('id', WCHAR_ARRAY), ('ErrorCode', LONG))


class ValueRequest(NDRCALL):
    structure = (('value', LONG),)


class ReadRequest(NDRCALL):
    structure = (('size', ULONG), ('value', LONG))


class ReadBufferRequest(NDRCALL):
    structure = (('size', ULONG), ('value', BYTE))


class BytesResponse(NDRCALL):
    structure = (('buffer', CHAR_ARRAY), ('ErrorCode', LONG))


class WriteRequest(NDRCALL):
    structure = (('buffer', CHAR_ARRAY), ('size', ULONG))


class ResultResponse(NDRCALL):
    structure = (('ErrorCode', LONG),)


class FragmentingServer(DCERPCServer):
    """DCERPCServer whose long replies carry a correct frag_len.

    impacket 0.10's DCERPCServer.send splits a long reply into fragments but
    leaves the whole reply's length in every fragment's header, which no
    client can read. This send sets each fragment's own length and alloc_hint.
    """
    def send(self, data):
        packet = data['pduData']
        step = self._max_xmit_size - 32
        if len(packet) <= step:
            self._clientSock.send(data.get_packet())
            return
        offset = 0
        while offset < len(packet):
            piece = packet[offset:offset + step]
            flags = (PFC_FIRST_FRAG if offset == 0 else 0)
            if offset + len(piece) == len(packet):
                flags |= PFC_LAST_FRAG
            data['flags'] = flags
            data['alloc_hint'] = len(packet) - offset
            data['pduData'] = piece
            data['frag_len'] = 24 + len(piece)
            self._clientSock.send(data.get_packet())
            offset += len(piece)


def reported(handler):
    """Shows a handler's failure on stderr; DCERPCServer would only drop the connection."""
    def run(data):
        try:
            return handler(data)
        except Exception:
            traceback.print_exc()
            raise
    return run


def result(value):
    r = ResultResponse()
    r['ErrorCode'] = value
    return r.getData()


def check_out(data):
    req = RemoteCheckOutScanner(data)
    name = b''.join(req['computerName'])
    password = b''.join(req['password'])
    size = req['messageSize']
    assert len(req['message']) == size and req['computerNameSize'] == len(name)
    text = (b'granted:' + name.rstrip(b'\0') + b'/' + password.rstrip(b'\0') + b'\0')
    text = (text + b'.' * size)[:size]
    r = RemoteCheckOutScannerResponse()
    r['message'] = list(text)
    r['status'] = req['status'] + 1
    r['ErrorCode'] = 1000 + req['value']
    return r.getData()


def check_out_with_id(data):
    req = RemoteCheckOutScannerWithID(data)
    text = req['scannerId']  # impacket hands the string over decoded
    if isinstance(text, str):
        text = text.encode('latin-1')
    assert text.endswith(b'\0')
    return result(len(text) - 1 + 10 * req['value'])


def get_scanner_id(data):
    size = RemoteGetScannerID(data)['idSize']
    r = RemoteGetScannerIDResponse()
    r['id'] = [ord(('WB-%d' % size + 'x' * size)[i]) for i in range(size)]
    r['ErrorCode'] = 2
    return r.getData()


def read(data):
    req = ReadRequest(data)
    r = BytesResponse()
    r['buffer'] = [(i * 3 + req['value']) & 0xff for i in range(req['size'])]
    r['ErrorCode'] = req['size']
    return r.getData()


def read_buffer(data):
    req = ReadBufferRequest(data)
    r = BytesResponse()
    r['buffer'] = [(i ^ req['value']) & 0xff for i in range(req['size'])]
    r['ErrorCode'] = 99
    return r.getData()


def write_sum(data):
    req = WriteRequest(data)
    octets = b''.join(req['buffer'])
    assert len(octets) == req['size']
    return result(sum(octets))


def write_len(data):
    req = WriteRequest(data)
    return result(len(req['buffer']) * 1000 + req['size'])


SCANNER_OPS = {
    0: check_out,
    1: check_out_with_id,
    2: get_scanner_id,
    3: lambda d: result(ValueRequest(d)['value'] * 2),
    4: lambda d: result(44),
    5: read,
    6: write_sum,
    7: lambda d: result(ValueRequest(d)['value'] - 7),
    8: lambda d: result(88),
    9: read_buffer,
    10: write_len,
    11: lambda d: result(111),
    12: lambda d: b'',
}


def main():
    scanner = FragmentingServer()
    scanner.addCallbacks(SCANNER, '', {op: reported(h) for op, h in SCANNER_OPS.items()})
    scanner_port = scanner.getListenPort()

    def ept_map(data):
        req = epm.ept_map(data)
        asked = epm.EPMTower(b''.join(req['map_tower']['tower_octet_string']))
        tower = epm.EPMTower()
        interface = epm.EPMRPCInterface()
        interface['InterfaceUUID'] = uuidtup_to_bin(SCANNER)[:16]
        interface['MajorVersion'] = 1
        interface['MinorVersion'] = 0
        ndr = epm.EPMRPCDataRepresentation()
        ndr['DataRepUuid'] = uuidtup_to_bin(NDR)[:16]
        ndr['MajorVersion'] = 2
        ndr['MinorVersion'] = 0
        rpc = epm.EPMProtocolIdentifier()
        rpc['ProtIdentifier'] = 0x0b
        port = epm.EPMPortAddr()
        port['IpPort'] = scanner_port
        host = epm.EPMHostAddr()
        host['Ip4addr'] = socket.inet_aton('127.0.0.1')
        tower['NumberOfFloors'] = 5
        tower['Floors'] = b''.join(f.getData() for f in (interface, ndr, rpc, port, host))
        resp = epm.ept_mapResponse()
        resp['entry_handle'] = epm.ept_lookup_handle_t()
        known = asked['Floors'][0]['InterfaceUUID'] == interface['InterfaceUUID']
        if known:
            towerPtr = epm.twr_p_t()
            towerPtr['tower_length'] = len(tower.getData())
            towerPtr['tower_octet_string'] = tower.getData()
            resp['ITowers'] = [towerPtr]
            resp['num_towers'] = 1
            resp['status'] = 0
        else:
            resp['ITowers'] = []
            resp['num_towers'] = 0
            resp['status'] = 0x16c9a0d6
        return resp.getData()

    mapper = DCERPCServer()
    mapper.addCallbacks(EPMAPPER, '135', {3: reported(ept_map)})
    for server in (scanner, mapper):
        # Listening before the port is announced; run() listens again, harmlessly.
        server._sock.listen(10)
        server.daemon = True
        server.start()
    print('EPMAP %d SCANNER %d' % (mapper.getListenPort(), scanner_port), flush=True)
    # Ends when the test closes our input, or after two minutes at most.
    select.select([sys.stdin], [], [], 120)
    os._exit(0)


if __name__ == '__main__':
    main()
