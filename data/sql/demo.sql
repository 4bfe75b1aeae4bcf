-- Demo company: Romanian food distributor with partners at home and abroad.
insert into emitent (emitent, operator_parola, eu_punct_lucru, data_ins)
values ('operator', encode(sha256(convert_to('demo123', 'UTF8')), 'hex'), 'Sediu Bucuresti', current_date);

insert into aplicatie_mob (aplicatie_mob, activ, obs) values ('wPelvaro', true, 'evidenta ambalaje');
insert into aplicatie_mob_emitent (aplicatie_mob, emitent, rol) values ('wpelvaro', 'operator', 'admin');

insert into eu (jas_ip, tara, metoda_stoc, cod_cci, tip_contabilitate, localit, adresa, eu, data_incep_activitate, data_denominare, norma)
values ('rapoarte.demo.ro:8443', 'RO', 'FIFO', 'RO12345678', 'partida dubla', 'Bucuresti', 'Str. Exemplu nr. 1', 'Demo Alimentara SRL', date '2010-01-01', date '2005-07-01', 8);

insert into articol (articol, um, um_coresp, um_coresp2, greutate_neta, greutate_bruta, da_nu_stocabil) values
('Apa minerala Borsec 0.5L', 'buc', 'bax', null, 0.5, 0.53, true),
('Apa plata Dorna 2L', 'buc', 'bax', null, 2, 2.06, true),
('Bere Ursus 0.5L sticla', 'buc', 'bax', null, 0.5, 0.85, true),
('Bere Timisoreana 0.5L doza', 'buc', 'bax', null, 0.5, 0.52, true),
('Cafea Jacobs 250g', 'buc', 'bax', null, 0.25, 0.27, true),
('Ciocolata Rom 30g', 'buc', 'cut', null, 0.03, 0.032, true),
('Faina Boromir 1kg', 'buc', 'bax', null, 1, 1.01, true),
('Ulei floarea soarelui Bunica 1L', 'buc', 'bax', null, 0.92, 0.98, true),
('Zahar Margaritar 1kg', 'buc', 'bax', null, 1, 1.01, true),
('Vin Cotnari Grasa 0.75L', 'buc', 'cut', null, 0.75, 1.3, true),
('Suc Prigat portocale 1L', 'buc', 'bax', null, 1, 1.08, true),
('Conserva fasole Bonduelle 400g', 'buc', 'bax', null, 0.4, 0.46, true),
('Masline Kalamata 350g borcan', 'buc', 'bax', null, 0.35, 0.6, true),
('Paste Barilla 500g', 'buc', 'bax', null, 0.5, 0.51, true),
('Ketchup Heinz 500g', 'buc', 'bax', null, 0.5, 0.55, true),
('Orez Deroni 1kg', 'buc', 'bax', null, 1, 1.01, true),
('Palet lemn EUR', 'buc', null, null, 25, 25, true),
('Transport marfa', 'km', null, null, null, null, false),
('Servicii logistice', 'ora', null, null, null, null, false),
('Branza Telemea 1kg', 'kg', null, null, 1, 1.02, true);

insert into articol_ambalaje (articol, kg_ambalaj_primar_total_plastic_pet, kg_ambalaj_secundar_total_plastic_altele, kg_ambalaj_secundar_total_hartie) values
('Apa minerala Borsec 0.5L', 0.018, 0.002, 0.004),
('Apa plata Dorna 2L', 0.042, 0.003, 0.005),
('Suc Prigat portocale 1L', 0.031, 0.002, 0.004);
insert into articol_ambalaje (articol, kg_ambalaj_primar_total_sticla, kg_ambalaj_secundar_total_sticla, kg_ambalaj_primar_total_metal) values
('Bere Ursus 0.5L sticla', 0.35, 0.0, 0.002),
('Vin Cotnari Grasa 0.75L', 0.5, 0.0, 0.001),
('Masline Kalamata 350g borcan', 0.22, 0.0, 0.012);
insert into articol_ambalaje (articol, kg_ambalaj_primar_total_aluminiu) values ('Bere Timisoreana 0.5L doza', 0.0135);
insert into articol_ambalaje (articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_primar_total_plastic_altele) values
('Cafea Jacobs 250g', 0.004, 0.008),
('Faina Boromir 1kg', 0.012, null),
('Paste Barilla 500g', 0.015, 0.002);
insert into articol_ambalaje (articol, kg_ambalaj_primar_total_lemn, kg_ambalaj_secundar_reutilizabil_lemn) values ('Palet lemn EUR', 0, 25);

insert into partener (partener, cod_cci, adr_cod_iso_tara) values
('Carrefour Romania SA', 'RO11588780', 'RO'),
('Mega Image SRL', 'RO6719278', 'RO'),
('Metro Cash & Carry Romania', 'RO6978440', 'RO'),
('Barilla G. e R. Fratelli SpA', 'IT01654010345', 'IT'),
('Heinz Deutschland GmbH', 'DE811158295', 'DE'),
('Olympos Kalamata SA', 'EL094014201', 'GR'),
('Bonduelle Europe Long Life', 'FR29447250044', 'FR'),
('Jacobs Douwe Egberts PL', 'PL5272615458', 'PL'),
('Distribuitor fara tara', 'XX000', null),
('Prodcoop Moldova SRL', 'MD1003600000', 'md');

-- ~60 documents over the last 30 days, several lines each.
insert into doc (data_doc, tip_doc, nr_doc, partener)
select current_date - (g % 30),
       case when g % 5 = 0 then 'FactFE' when g % 7 = 0 then 'AvizI' else 'FactFI' end,
       'D' || lpad(g::text, 5, '0'),
       (array['Carrefour Romania SA','Mega Image SRL','Metro Cash & Carry Romania','Barilla G. e R. Fratelli SpA',
              'Heinz Deutschland GmbH','Olympos Kalamata SA','Bonduelle Europe Long Life','Jacobs Douwe Egberts PL',
              'Distribuitor fara tara','Prodcoop Moldova SRL'])[1 + (g * 7) % 10]
from generate_series(1, 64) g;

insert into doc_poz (data_doc, tip_doc, nr_doc, articol, um, cant)
select d.data_doc, d.tip_doc, d.nr_doc, a.articol, a.um, ((l * 37 + length(d.nr_doc) * 11) % 240 + 1)::numeric
from doc d
cross join generate_series(1, 6) l
join lateral (select articol, um from articol order by articol offset ((substr(d.nr_doc, 2)::int * 3 + l * 5) % 20) limit 1) a on true;
