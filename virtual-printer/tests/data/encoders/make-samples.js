// Writes receipts with public ESC/POS encoders into byte files:
// receipt-printer-encoder.bin and node-thermal-printer.bin the same receipt
// (text styles and a code page, a table, the eight bar code types, QR and
// PDF417 codes, a picture and a cut); receiptline.bin a receipt of a markup
// renderer that switches code pages by character (PC437, PC852, PC858, PC866,
// WPC1252) and receiptline-japanese.bin the same renderer's Shift JIS and
// half-width katakana; escpos-buffer.bin styles, a QR code, a cut and a
// drawer pulse. The virtual printer's tests read the committed files; run
// this (npm install && npm run make) only to make them anew.
'use strict';
const fs = require('fs');
const path = require('path');
const ReceiptPrinterEncoder = require('@point-of-sale/receipt-printer-encoder');
const ThermalPrinter = require('node-thermal-printer').printer;
const { PNG } = require('pngjs');
const receiptline = require('receiptline');
const { Printer, InMemory, Align, Style } = require('escpos-buffer');

// A 96 x 48 picture: a frame and a diagonal band, as RGBA pixels.
function picture() {
    const width = 96, height = 48;
    const data = new Uint8ClampedArray(width * height * 4);
    for (let y = 0; y < height; y++)
        for (let x = 0; x < width; x++) {
            const ink = x < 4 || y < 4 || x >= width - 4 || y >= height - 4 || Math.abs(x - 2 * y) < 6;
            data.set(ink ? [0, 0, 0, 255] : [255, 255, 255, 255], (y * width + x) * 4);
        }
    return { width, height, data };
}

const barcodes = [
    ['upca', '01234567890'], ['upce', '01234565'], ['ean13', '012345678901'], ['ean8', '0123456'],
    ['code39', 'KIVO-42'], ['itf', '12345678'], ['codabar', 'A123456A'], ['code93', 'KIVO93'],
    ['code128', 'Kivo-128'],
];

function withReceiptPrinterEncoder() {
    const e = new ReceiptPrinterEncoder({ language: 'esc-pos', columns: 32, imageMode: 'raster' });
    e.initialize().codepage('cp437').line('Caf\u00e9 \u00c5rhus \u00fc\u00df \u00bd');
    e.bold(true).line('Bold').bold(false).underline(true).line('Underlined').underline(false);
    e.invert(true).line('Reverse').invert(false).size(2, 2).line('Big').size(1, 1);
    e.table([{ width: 20, align: 'left' }, { width: 11, align: 'right' }],
            [['Coffee', '2.50'], ['Cake', '3.20'], ['Total', '5.70']]);
    for (const [symbology, value] of barcodes)
        e.barcode(value, symbology, { height: 60, width: 2, text: false }).newline();
    e.qrcode('https://kivo.example/receipt/42', { model: 2, size: 4, errorlevel: 'm' }).newline();
    e.pdf417('Printer Kivo PDF417 sample', { width: 2, height: 3 }).newline();
    e.image(picture(), 96, 48, 'threshold').newline();
    e.cut();
    return Buffer.from(e.encode());
}

async function withNodeThermalPrinter() {
    const p = new ThermalPrinter({ type: 'epson', interface: 'tcp://127.0.0.1:9', width: 32, characterSet: 'PC437_USA' });
    p.println('Caf\u00e9 \u00c5rhus \u00fc\u00df \u00bd');
    p.bold(true); p.println('Bold'); p.bold(false);
    p.underline(true); p.println('Underlined'); p.underline(false);
    p.invert(true); p.println('Reverse'); p.invert(false);
    p.setTextSize(1, 1); p.println('Big'); p.setTextNormal();
    p.tableCustom([{ text: 'Coffee', align: 'LEFT', width: 0.6 }, { text: '2.50', align: 'RIGHT', width: 0.35 }]);
    p.tableCustom([{ text: 'Total', align: 'LEFT', width: 0.6 }, { text: '5.70', align: 'RIGHT', width: 0.35 }]);
    const types = [65, 66, 67, 68, 69, 70, 71, 72, 73];
    barcodes.forEach(([, value], i) => {
        p.printBarcode(value, types[i], { hriPos: 0, width: 2, height: 60 });
        p.newLine();
    });
    p.code128('Kivo-128', { width: 2, height: 60 });
    p.newLine();
    p.printQR('https://kivo.example/receipt/42', { cellSize: 4, correction: 'M', model: 2 });
    p.newLine();
    p.pdf417('Printer Kivo PDF417 sample', { width: 2, rowHeight: 3 });
    p.newLine();
    const pic = picture();
    const png = new PNG({ width: pic.width, height: pic.height });
    png.data = Buffer.from(pic.data);
    await p.printImageBuffer(PNG.sync.write(png));
    p.cut();
    return p.getBuffer();
}

const receiptlineDocument = `^^^Kivo Café
Straße 1 | Århus
_Underlined_ "Bold" \`Reverse\`
{width:*,10}
Coffee | 2.50
Кофе | 3.20
Žluťoučký kůň | 1.00
Crème brûlée | 4.00
{code:4901234567894;option:ean,hri}
{code:Kivo-128;option:code128,2,72,nohri}
{code:https://kivo.example/receipt/42;option:qrcode,4,m}
-`;

function withReceiptline() {
    const printer = { cpl: 32, encoding: 'multilingual', command: 'escpos' };
    return Buffer.from(receiptline.transform(receiptlineDocument, printer), 'binary');
}

function withReceiptlineJapanese() {
    const printer = { cpl: 32, encoding: 'shiftjis', command: 'escpos' };
    const doc = '^日本語 ｶﾀｶﾅ テスト\n漢字|123\n{code:https://kivo.example/jp;option:qrcode,4,m}\n-';
    return Buffer.from(receiptline.transform(doc, printer), 'binary');
}

async function withEscposBuffer() {
    const connection = new InMemory();
    const p = await Printer.CONNECT('TM-T20', connection);
    await p.setColumns(32);
    await p.writeln('Café Århus', Style.Bold);
    await p.writeln('Double', Style.DoubleHeight | Style.DoubleWidth, Align.Center);
    await p.withStyle({ width: 2, height: 2, bold: true, italic: true, underline: true, align: Align.Right },
                      async () => { await p.writeln('Styled'); });
    await p.qrcode('https://kivo.example/receipt/42', 4);
    await p.feed(2);
    await p.buzzer();
    await p.cutter();
    await p.drawer();
    return connection.buffer();
}

(async () => {
    const write = (name, bytes) => fs.writeFileSync(path.join(__dirname, name), bytes);
    write('receipt-printer-encoder.bin', withReceiptPrinterEncoder());
    write('node-thermal-printer.bin', await withNodeThermalPrinter());
    write('receiptline.bin', withReceiptline());
    write('receiptline-japanese.bin', withReceiptlineJapanese());
    write('escpos-buffer.bin', await withEscposBuffer());
})();
